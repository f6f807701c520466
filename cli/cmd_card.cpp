// `card show` and `card save`: ColorCard bitmap files, read and written by the effect's own
// file code, with the headless host's window answering the file dialog.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cards/card.h"
#include "cards/finder.h"
#include "cards/sampling.h"
#include "cli/command.h"
#include "cli/image_io.h"
#include "cli/lookup.h"
#include "cli/outputs.h"
#include "headless/window.h"
#include "host/bitmap.h"
#include "pipeline/transfer.h"

namespace {

const char* const CORRUPT = "ColorCard file is corrupt";
const char* const NEWER =
    "ColorCard file was produced by a newer version of the plugin and cannot be loaded as it "
    "uses newer features";

std::string transfer_name(const transfer_function& tf) {
    const int item = transfer_as_popup(tf.kind);
    if (item < 1) return "unlisted";
    return split_popup(TRANSFER_SPACES_STR)[static_cast<size_t>(item - 1)];
}

std::string chart_name(const reference_card* chart) {
    for (int item = 1; item <= CARD_TYPE_COUNT; ++item)
        if (refcard(CARD_TYPE[item]) == chart)
            return split_popup(CARD_TYPE_STR)[static_cast<size_t>(item - 1)];
    return "unknown";
}

void show(const std::string& path) {
    // A file that cannot be opened is reported as such, not as a corrupt card.
    if (FILE* f = std::fopen(path.c_str(), "rb"))
        std::fclose(f);
    else
        throw cli_error{1, "cannot read '" + path + "': " + std::strerror(errno)};
    headless_window window;
    headless_window_init(&window);
    headless_window_answer(&window, path);
    transfer_function tf{};
    color_space cs{};
    auto c = std::make_unique<card>();
    const int result = bitmap_read(&window.record, &tf, &cs, c.get());
    if (result == -2) throw cli_error{1, CORRUPT};
    if (result == -1) throw cli_error{1, NEWER};
    if (result != 1) throw cli_error{1, "'" + path + "' was not read"};

    std::printf("chart      %s (type %d, %d patches)\n", chart_name(c->ref).c_str(),
                static_cast<int>(c->ref->type), static_cast<int>(c->ref->patch_count));
    std::printf("card       %s\n", c->reference ? "reference colours" : "sampled colours");
    std::printf("transfer   %s (kind %d, ISO %d)\n", transfer_name(tf).c_str(),
                static_cast<int>(tf.kind), static_cast<int>(tf.iso));
    std::printf("           a-f %.9g %.9g %.9g %.9g %.9g %.9g  flags %d %d %d  levels %.9g %.9g\n",
                double(tf.a), double(tf.b), double(tf.c), double(tf.d), double(tf.e), double(tf.f),
                tf.g, tf.h, tf.i, double(tf.black), double(tf.white));
    std::printf("primaries  R %.7g %.7g  G %.7g %.7g  B %.7g %.7g  W %.7g %.7g\n", cs.red_x,
                cs.red_y, cs.green_x, cs.green_y, cs.blue_x, cs.blue_y, cs.white_x, cs.white_y);
    // A reference card carries no display values in the file; show them as the effect would.
    if (!c->display_valid) cardUpdateDisplayFromLinear(c.get(), &tf);
    for (int i = 0; i < c->ref->patch_count; ++i)
        std::printf("%3d  %-24s  display %.6f %.6f %.6f  linear %.6f %.6f %.6f\n", i,
                    c->ref->patches[i].name, double(c->display[0][i]), double(c->display[1][i]),
                    double(c->display[2][i]), double(c->linear[0][i]), double(c->linear[1][i]),
                    double(c->linear[2][i]));
}

// ---------------------------------------------------------------------------

struct save_options {
    std::string chart, entry, image_path, output, sampling = "patch";
    std::vector<std::string> corners;
    bool reference = false, find = false;
    int iso = 0;
    bool iso_given = false;
};

void save(const save_options& o) {
    const refcard_type type = CARD_TYPE[lookup_chart(o.chart)];
    const int entry = lookup_transfer_entry(o.entry);
    transfer_function tf = TRANSFER_FUNCTION[entry];
    if (o.iso_given) tf.iso = o.iso;
    const color_space cs = COLOR_SPACE[entry];
    auto c = std::make_unique<card>();
    cardMakeRef(c.get(), &cs, type);

    const card_sampling sampling = card_sampling(parse_sampling(o.sampling));
    if (o.reference == !o.image_path.empty())
        throw cli_error{2, "give either --reference or --image"};
    if (!o.image_path.empty() && o.find == !o.corners.empty())
        throw cli_error{2, "with --image give either --find or --corners"};

    if (o.reference) {
        cardUpdateDisplayFromLinear(c.get(), &tf);
    } else {
        std::vector<double> v;
        if (!o.find) v = parse_corners(o.corners);
        check_outputs({o.image_path}, {{o.output, "-o", ""}}, false);
        rgba_image file = read_image(o.image_path);
        if (!o.find) check_corners_in_frame(v, file.width, file.height);
        const image frame = image_view(file);
        OfxPointD corners[4];
        if (o.find) {
            const int code = cardFind(nullptr, &frame, &tf, c.get(), corners);
            if (code == FINDER_OUT_OF_MEMORY) throw cli_error{1, "out of memory while searching"};
            if (code != FINDER_FOUND)
                throw cli_error{1, "no chart found in '" + o.image_path + "'"};
        } else {
            for (int k = 0; k < 4; ++k) corners[k] = {v[size_t(2 * k)], v[size_t(2 * k + 1)]};
        }
        cardReadSampled(&frame, &tf, corners, c.get(), sampling);
        std::printf("corners    %.2f,%.2f %.2f,%.2f %.2f,%.2f %.2f,%.2f\n", corners[0].x,
                    corners[0].y, corners[1].x, corners[1].y, corners[2].x, corners[2].y,
                    corners[3].x, corners[3].y);
    }

    headless_window window;
    headless_window_init(&window);
    headless_window_answer(&window, o.output);
    if (bitmap_write(&window.record, &tf, &cs, c.get()) != 1)
        throw cli_error{1, "cannot write '" + o.output + "': " + std::strerror(errno)};
    std::printf("wrote      %s (%d x %d, %s, %s)\n", o.output.c_str(), bitmap_file_width(c->ref),
                bitmap_file_height(c->ref), chart_name(c->ref).c_str(),
                o.reference ? "reference colours" : "sampled colours");
}

void setup(CLI::App& app) {
    CLI::App* group = app.add_subcommand("card", "ColorCard bitmap files: show or save a card");
    group->require_subcommand(1);

    auto path = std::make_shared<std::string>();
    CLI::App* show_cmd = group->add_subcommand(
        "show", "decode a ColorCard file: chart, transfer function, colour space, patch values");
    show_cmd->add_option("file", *path, "ColorCard bitmap file")->required();
    show_cmd->callback([path]() { show(*path); });

    auto o = std::make_shared<save_options>();
    CLI::App* save_cmd = group->add_subcommand(
        "save",
        "write a ColorCard file of a chart's reference colours or of a chart read from "
        "an image");
    save_cmd
        ->add_option("--chart", o->chart,
                     "chart: popup position (1-10) or name, or an unambiguous part of one")
        ->required();
    save_cmd
        ->add_option("--input", o->entry,
                     "catalogue entry the card is read with: popup position (1-50) or name")
        ->required();
    save_cmd->add_option("--iso", o->iso, "exposure index (ALEXA Log C entries)")
        ->each([o](const std::string&) { o->iso_given = true; });
    save_cmd->add_flag("--reference", o->reference, "the chart's reference colours");
    save_cmd->add_option("--image", o->image_path, "image that shows the chart");
    save_cmd->add_flag("--find", o->find, "find the chart in the image");
    save_cmd
        ->add_option("--corners", o->corners,
                     "the chart's corners in image pixels: x,y of top left, top right, bottom "
                     "right, bottom left")
        ->expected(1, 8);
    save_cmd->add_option("--sampling", o->sampling,
                         "how patches are read: patch (default) or box (a fixed 10 x 10 box)");
    save_cmd->add_option("-o,--output", o->output, "ColorCard file to write")->required();
    save_cmd->callback([o]() { save(*o); });
}

const bool registered = register_command(60, setup);

}  // namespace
