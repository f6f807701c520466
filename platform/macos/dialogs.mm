// The file dialog and the about box on macOS: the save and open panels, and a small
// window run modally. Not built on the Linux machines this project is developed on; kept
// to the interface and to what the Windows and POSIX versions do.
#import <Cocoa/Cocoa.h>
#import <UniformTypeIdentifiers/UniformTypeIdentifiers.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace {

int cancelled(char* path) {
    if (path) path[0] = '\0';
    errno = ECANCELED;
    return 0;
}

}  // namespace

int filechoose(void*, const char* title, const char* extension, char mode, char* path,
               size_t path_size) {
    if ((mode != 'r' && mode != 'w') || !path || path_size == 0) return cancelled(path);
    @autoreleasepool {
        NSString* ext = [NSString stringWithUTF8String:extension ? extension : ""];
        NSArray* types = ext.length ? @[ [UTType typeWithFilenameExtension:ext] ] : @[];
        NSURL* url = nil;
        if (mode == 'w') {
            NSSavePanel* panel = [NSSavePanel savePanel];
            panel.title = [NSString stringWithUTF8String:title ? title : ""];
            panel.allowedContentTypes = types;
            if ([panel runModal] != NSModalResponseOK) return cancelled(path);
            url = panel.URL;
        } else {
            NSOpenPanel* panel = [NSOpenPanel openPanel];
            panel.title = [NSString stringWithUTF8String:title ? title : ""];
            panel.canChooseFiles = YES;
            panel.canChooseDirectories = NO;
            panel.allowsMultipleSelection = NO;
            panel.allowedContentTypes = types;
            if ([panel runModal] != NSModalResponseOK || panel.URLs.count == 0)
                return cancelled(path);
            url = panel.URLs.firstObject;
        }
        const char* chosen = url.fileSystemRepresentation;
        if (!chosen || !*chosen || std::strlen(chosen) >= path_size) return cancelled(path);
        std::memcpy(path, chosen, std::strlen(chosen) + 1);
    }
    errno = 0;
    return 1;
}

// Stops the modal run when the box closes, by its close box or its button.
@interface ChromalaneAboutDelegate : NSObject <NSWindowDelegate>
@end
@implementation ChromalaneAboutDelegate
- (void)windowWillClose:(NSNotification*)note {
    [NSApp stopModal];
}
@end

void about(void*) {
    @autoreleasepool {
        // The layout is given from the top left of a 480 x 238 area; Cocoa counts from the
        // bottom left.
        auto place = [](CGFloat x, CGFloat y, CGFloat w, CGFloat h) {
            return NSMakeRect(x, 238 - y - h, w, h);
        };
        NSWindow* box = [[NSWindow alloc]
            initWithContentRect:NSMakeRect(0, 0, 480, 238)
                      styleMask:NSWindowStyleMaskTitled | NSWindowStyleMaskClosable
                        backing:NSBackingStoreBuffered
                          defer:NO];
        box.releasedWhenClosed = NO;
        box.title = [NSString stringWithUTF8String:ABOUT_TITLE];
        ChromalaneAboutDelegate* delegate = [[ChromalaneAboutDelegate alloc] init];
        box.delegate = delegate;

        NSFont* font = [NSFont messageFontOfSize:0];
        const CGFloat text_height = 5 * (font.ascender - font.descender + font.leading);
        NSTextField* text =
            [NSTextField wrappingLabelWithString:[NSString stringWithUTF8String:ABOUT_TEXT]];
        text.frame = place(10, 100 - text_height, 470, text_height);
        text.font = font;
        [box.contentView addSubview:text];

        NSButton* ok = [NSButton buttonWithTitle:@"OK" target:box action:@selector(performClose:)];
        ok.frame = place(380, 206, 90, 24);
        ok.keyEquivalent = @"\r";
        [box.contentView addSubview:ok];
        [box makeFirstResponder:ok];

        [box center];
        [NSApp runModalForWindow:box];
        box.delegate = nil;
    }
}
