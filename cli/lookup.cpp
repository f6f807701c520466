#include "cli/lookup.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <utility>

#include "cards/card.h"
#include "cards/sampling.h"
#include "cli/command.h"
#include "pipeline/transfer.h"

namespace {

std::string lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool is_separator(const std::string& item) {
    return item.rfind("(-", 0) == 0;
}

// Edit distance, case-insensitive, for ranking close matches.
size_t distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Lower-case letters and digits only: "S-Log3" and "slog3" look alike to a user.
std::string normalised(const std::string& s) {
    std::string out;
    for (char c : s)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// 0 when the query is part of the name once punctuation is ignored; otherwise the
// smallest edit distance between the query and any same-length window of the name, so
// that a misspelt part of a long name still ranks that name first.
size_t closeness(const std::string& raw_query, const std::string& raw_name) {
    const std::string query = normalised(raw_query), name = normalised(raw_name);
    if (!query.empty() && name.find(query) != std::string::npos) return 0;
    if (query.size() >= name.size()) return distance(query, name);
    size_t best = distance(query, name);
    for (size_t start = 0; start + query.size() <= name.size(); ++start)
        best = std::min(best, distance(query, name.substr(start, query.size())));
    return best;
}

std::string quote_list(const std::vector<std::string>& names) {
    std::string out;
    for (size_t k = 0; k < names.size(); ++k) {
        if (k) out += ", ";
        out += "'" + names[k] + "'";
    }
    return out;
}

[[noreturn]] void fail(const char* what, const std::string& query,
                       const std::vector<std::string>& candidates) {
    std::string message = std::string("unknown ") + what + " '" + query + "'";
    if (!candidates.empty()) message += "; close matches: " + quote_list(candidates);
    throw cli_error{2, message};
}

}  // namespace

std::vector<std::string> split_popup(const char* popup_text) {
    std::vector<std::string> items;
    if (!popup_text) return items;
    std::string current;
    for (const char* p = popup_text; *p; ++p) {
        if (*p == '|') {
            items.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    items.push_back(current);
    return items;
}

int lookup_popup_item(const std::vector<std::string>& items, const std::string& query,
                      const char* what) {
    const int count = static_cast<int>(items.size());
    // A position: all digits, within the list. Other numbers may still be part of a name
    // ("709"), so they fall through to the name search.
    const bool digits = !query.empty() && std::all_of(query.begin(), query.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (digits) {
        const size_t first = query.find_first_not_of('0');
        const std::string trimmed = first == std::string::npos ? "0" : query.substr(first);
        const int position = trimmed.size() < 10 ? std::stoi(trimmed) : -1;
        if (position >= 1 && position <= count) {
            if (!is_separator(items[size_t(position - 1)])) return position;
            throw cli_error{2, std::string("unknown ") + what + " '" + query + "'; item " +
                                   trimmed + " is a separator"};
        }
    }
    if (query.empty()) fail(what, query, {});
    for (int k = 0; k < count; ++k)
        if (items[size_t(k)] == query && !is_separator(items[size_t(k)])) return k + 1;

    const std::string needle = lower(query);
    std::vector<int> hits;
    for (int k = 0; k < count; ++k) {
        const std::string& item = items[size_t(k)];
        if (is_separator(item)) continue;
        if (lower(item) == needle) return k + 1;
        if (lower(item).find(needle) != std::string::npos) hits.push_back(k);
    }
    if (hits.size() == 1) return hits[0] + 1;

    std::vector<std::string> candidates;
    if (hits.size() > 1) {
        // Ambiguous: every item that contains the query is a close match.
        for (int k : hits) candidates.push_back(items[size_t(k)]);
        std::string message = std::string("unknown ") + what + " '" + query +
                              "' (ambiguous); close matches: " + quote_list(candidates);
        throw cli_error{2, message};
    }
    std::vector<std::pair<size_t, int>> ranked;
    for (int k = 0; k < count; ++k) {
        const std::string& item = items[size_t(k)];
        if (is_separator(item) || item.empty()) continue;
        ranked.emplace_back(closeness(query, item), k);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Every item that holds the query apart from punctuation, else the three nearest.
    for (size_t k = 0; k < ranked.size() && (k < 3 || (ranked[k].first == 0 && k < 8)); ++k)
        candidates.push_back(items[size_t(ranked[k].second)]);
    if (digits)
        throw cli_error{2, std::string("unknown ") + what + " '" + query +
                               "'; positions run from 1 to " + std::to_string(count)};
    fail(what, query, candidates);
}

int lookup_transfer_entry(const std::string& query) {
    static const std::vector<std::string> items = split_popup(TRANSFER_SPACES_STR);
    return lookup_popup_item(items, query, "transfer function / colour space");
}

int lookup_chart(const std::string& query) {
    static const std::vector<std::string> items = split_popup(CARD_TYPE_STR);
    return lookup_popup_item(items, query, "chart");
}

std::vector<double> parse_numbers(const std::vector<std::string>& words,
                                  const std::string& option) {
    std::vector<double> v;
    for (const std::string& word : words) {
        std::stringstream ss(word);
        std::string item;
        while (std::getline(ss, item, ',')) {
            if (item.empty()) continue;
            size_t used = 0;
            double d = 0;
            try {
                d = std::stod(item, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (used != item.size() || !std::isfinite(d))
                throw cli_error{2, option + ": '" + item + "' is not a finite number"};
            v.push_back(d);
        }
    }
    return v;
}

std::vector<double> parse_corners(const std::vector<std::string>& words) {
    std::vector<double> v = parse_numbers(words, "--corners");
    if (v.size() != 8)
        throw cli_error{2,
                        "--corners needs eight numbers: top left, top right, bottom right, "
                        "bottom left as x,y pairs in image pixels"};
    return v;
}

std::vector<double> parse_corners(const std::string& text) {
    return parse_corners(std::vector<std::string>{text});
}

int parse_sampling(const std::string& word) {
    if (word == "patch") return CARD_SAMPLING_PATCH;
    if (word == "box") return CARD_SAMPLING_BOX;
    throw cli_error{2, "--sampling must be 'patch' or 'box', not '" + word + "'"};
}

double checked_pixel_aspect(double value) {
    if (value == 0) return 0;
    if (!(value >= 0.1 && value <= 10)) throw cli_error{2, "--pixel-aspect must be from 0.1 to 10"};
    return value;
}

std::string card_fit_warning(double residual) {
    // Cards read from the chart under any light leave at most a few percent of the
    // reference spread unexplained; corners on other content leave most of it.
    constexpr double PLAUSIBLE = 0.15;
    if (residual <= PLAUSIBLE) return {};
    char line[200];
    std::snprintf(line, sizeof line,
                  "warning: the colours read do not fit the chart (%.0f %% of its spread left "
                  "unexplained by the best fit); check the corners and the chart",
                  std::isfinite(residual) ? 100 * residual : 100.0);
    return line;
}

void check_corners_in_frame(const std::vector<double>& corners, int width, int height,
                            const std::string& option) {
    static const char* const NAMES[4] = {"top left", "top right", "bottom right", "bottom left"};
    for (size_t k = 0; k < 4 && 2 * k + 1 < corners.size(); ++k) {
        const double x = corners[2 * k], y = corners[2 * k + 1];
        if (!(x >= 0 && x <= width && y >= 0 && y <= height)) {
            char where[96];
            std::snprintf(where, sizeof where, "(%g, %g)", x, y);
            throw cli_error{2, option + ": the " + NAMES[k] + " corner " + where +
                                   " lies outside the " + std::to_string(width) + " x " +
                                   std::to_string(height) + " frame"};
        }
    }
}
