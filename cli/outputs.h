// What a command is about to write, checked before anything is read or written: no output
// may be one of the command's inputs (the same file, by whatever name) unless the user
// says --overwrite, and no two outputs may be the same file.
#pragma once

#include <string>
#include <vector>

// One file a command writes, the option that names it ("-o", "--lut") and, for a frame
// written under its own file name, the frame it comes from.
struct output_use {
    std::string path;
    std::string what;
    std::string frame;
};

// Throws cli_error{2, ...} naming both sides when an output is an existing input file and
// `overwrite` is false, or when two outputs name the same file. "-" (standard output) and
// empty paths are skipped.
void check_outputs(const std::vector<std::string>& inputs, const std::vector<output_use>& outputs,
                   bool overwrite);
