#include "cli/lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command.h"

namespace {

std::string failure(const std::vector<std::string>& items, const std::string& query) {
    try {
        lookup_popup_item(items, query, "thing");
    } catch (const cli_error& e) {
        EXPECT_EQ(e.status, 2);
        return e.what();
    }
    ADD_FAILURE() << "'" << query << "' resolved";
    return {};
}

TEST(Lookup, SplitPopup) {
    EXPECT_EQ(split_popup("a|b||c"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(split_popup("only"), (std::vector<std::string>{"only"}));
    EXPECT_TRUE(split_popup(nullptr).empty());
}

TEST(Lookup, PositionsAndNames) {
    const std::vector<std::string> items =
        split_popup("Linear sRGB|sRGB|Rec. 709|(-|Sony S-Log3|Sony S-Log3 Cine");
    EXPECT_EQ(lookup_popup_item(items, "3", "thing"), 3);
    EXPECT_EQ(lookup_popup_item(items, "03", "thing"), 3);
    EXPECT_EQ(lookup_popup_item(items, "sRGB", "thing"), 2);  // exact beats the longer name
    EXPECT_EQ(lookup_popup_item(items, "srgb", "thing"), 2);  // so does a case-blind match
    EXPECT_EQ(lookup_popup_item(items, "709", "thing"), 3);
    EXPECT_EQ(lookup_popup_item(items, "Sony S-Log3", "thing"), 5);
    EXPECT_EQ(lookup_popup_item(items, "cine", "thing"), 6);

    EXPECT_NE(failure(items, "4").find("separator"), std::string::npos);
    EXPECT_NE(failure(items, "99").find("1 to 6"), std::string::npos);
    EXPECT_NE(failure(items, "99999999999").find("unknown thing"), std::string::npos);
    const std::string ambiguous = failure(items, "s-log3");
    EXPECT_NE(ambiguous.find("'Sony S-Log3', 'Sony S-Log3 Cine'"), std::string::npos);
    EXPECT_NE(failure(items, "(-").find("unknown thing '(-'"), std::string::npos);
    EXPECT_NE(failure(items, "").find("unknown thing ''"), std::string::npos);
    // Close matches ignore punctuation and forgive a typo.
    EXPECT_NE(failure(items, "slog").find("'Sony S-Log3'"), std::string::npos);
    const std::string typo = failure(items, "Rec. 790");
    EXPECT_NE(typo.find("close matches: 'Rec. 709'"), std::string::npos) << typo;
}

TEST(Lookup, CornersAsWordsOrCommasEightFiniteNumbers) {
    const std::vector<double> want = {1, 2, 3.5, 4, -5, 6e2, 7, 8};
    EXPECT_EQ(parse_corners("1,2,3.5,4,-5,6e2,7,8"), want);
    EXPECT_EQ(parse_corners(std::vector<std::string>{"1,2", "3.5", "4,-5,6e2", "7", "8"}), want);
    auto failure = [](const std::string& text) {
        try {
            parse_corners(text);
        } catch (const cli_error& e) {
            EXPECT_EQ(e.status, 2);
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(failure("1,2,3").find("eight numbers"), std::string::npos);
    EXPECT_NE(failure("1,2,3,4,5,6,7,8,9").find("eight numbers"), std::string::npos);
    EXPECT_NE(failure("1,2,3,4,5,6,7,x").find("'x'"), std::string::npos);
    EXPECT_NE(failure("1,2,3,4,5,6,7,8px").find("'8px'"), std::string::npos);
    EXPECT_NE(failure("1,2,3,4,5,6,7,inf").find("finite"), std::string::npos);
    EXPECT_NE(failure("1,2,3,4,5,6,7,nan").find("finite"), std::string::npos);
}

TEST(Lookup, TransferCatalogue) {
    EXPECT_EQ(lookup_transfer_entry("Sony S-Log3 / S-Gamut3.Cine"), 43);
    EXPECT_EQ(lookup_transfer_entry("13"), 13);
    EXPECT_EQ(lookup_transfer_entry("acescc"), 48);
    EXPECT_EQ(lookup_transfer_entry("logc4"), 14);
    EXPECT_THROW(lookup_transfer_entry("11"), cli_error);
    EXPECT_THROW(lookup_transfer_entry("46"), cli_error);
    EXPECT_THROW(lookup_transfer_entry("Canon Log 2"), cli_error);
}

}  // namespace
