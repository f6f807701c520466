// `cards` and `reference`: the chart catalogue and a chart's reference patch values.
#include <cstdio>
#include <memory>
#include <string>

#include "cards/card.h"
#include "cli/command.h"
#include "cli/lookup.h"
#include "pipeline/transfer.h"

namespace {

void list_cards() {
    const auto items = split_popup(CARD_TYPE_STR);
    for (int item = 1; item <= CARD_TYPE_COUNT; ++item) {
        const refcard_type type = CARD_TYPE[item];
        std::printf("%2d  %-78s  type %d  %3d patches\n", item,
                    items[static_cast<size_t>(item - 1)].c_str(), static_cast<int>(type),
                    refcard(type)->patch_count);
    }
}

struct reference_options {
    std::string chart;
    std::string entry;
};

void print_reference(const reference_options& options) {
    const refcard_type type = CARD_TYPE[lookup_chart(options.chart)];
    const int entry = lookup_transfer_entry(options.entry);
    // A card is large; keep it off the stack.
    auto c = std::make_unique<card>();
    cardMakeRef(c.get(), &COLOR_SPACE[entry], type);
    cardUpdateDisplayFromLinear(c.get(), &TRANSFER_FUNCTION[entry]);
    for (int i = 0; i < c->ref->patch_count; ++i) {
        std::printf("%3d  %-24s  linear %.6f %.6f %.6f  display %.6f %.6f %.6f\n", i,
                    c->ref->patches[i].name, double(c->linear[0][i]), double(c->linear[1][i]),
                    double(c->linear[2][i]), double(c->display[0][i]), double(c->display[1][i]),
                    double(c->display[2][i]));
    }
}

void setup(CLI::App& app) {
    app.add_subcommand("cards", "list the chart popup: position, name, chart type, patch count")
        ->callback(list_cards);
    auto options = std::make_shared<reference_options>();
    CLI::App* sub = app.add_subcommand(
        "reference",
        "a chart's reference patches in an entry's colour space: index, name, linear RGB, and "
        "RGB encoded with the entry's curve");
    sub->add_option("chart", options->chart,
                    "chart: popup position (1-10) or name, or an unambiguous part of one")
        ->required();
    sub->add_option("entry", options->entry,
                    "catalogue entry: popup position (1-50) or name, or an unambiguous part of one")
        ->required();
    sub->callback([options]() { print_reference(*options); });
}

}  // namespace

static const bool registered = register_command(20, setup);
