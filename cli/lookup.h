// Resolving a user's words to a popup item: by 1-based position or by name.
#pragma once

#include <string>
#include <vector>

// Splits a "|"-joined popup text into its items (empty items kept).
std::vector<std::string> split_popup(const char* popup_text);

// Returns the 1-based position of the item that `query` names: a position ("7"), the
// exact name, or a case-insensitive part of exactly one name. Separators (items starting
// with "(-") are never chosen. Otherwise throws cli_error{2, "unknown <what> 'X'; ..."}
// naming the closest items.
int lookup_popup_item(const std::vector<std::string>& items, const std::string& query,
                      const char* what);

// lookup_popup_item over the transfer function / colour space catalogue.
int lookup_transfer_entry(const std::string& query);

// lookup_popup_item over the chart popup.
int lookup_chart(const std::string& query);

// The finite numbers of an option, given as separate words or joined by commas. Throws
// cli_error{2, ...} naming the option for anything else.
std::vector<double> parse_numbers(const std::vector<std::string>& words, const std::string& option);

// The eight numbers of --corners (top left, top right, bottom right, bottom left as x,y
// pairs in image pixels), given as separate words or joined by commas. Throws
// cli_error{2, ...} unless there are exactly eight finite numbers.
std::vector<double> parse_corners(const std::vector<std::string>& words);
std::vector<double> parse_corners(const std::string& text);

// --sampling: "patch" or "box". Throws cli_error{2, ...} for anything else.
int parse_sampling(const std::string& word);

// --pixel-aspect: a pixel's width over its height, from 0.1 to 10; 0 (the default of the
// option) keeps what the image file states. Throws cli_error{2, ...} outside that range.
double checked_pixel_aspect(double value);

// What the read card's colour residual against the chart (card_fit_residual) says to a
// user: empty when the card is plausible, otherwise a warning line.
std::string card_fit_warning(double residual);

// Throws cli_error{2, ...} naming the first corner that lies outside a frame of the given
// size (0 to width across, 0 to height down).
void check_corners_in_frame(const std::vector<double>& corners, int width, int height,
                            const std::string& option = "--corners");
