#pragma once

#include <string>
#include <vector>

namespace skintool {

// Every section, key and picture the programs use that the skin in
// `programFolder` lacks, one readable line each; empty when it is complete.
std::vector<std::string> missingSkinParts(const std::string& programFolder);

// skintool check FOLDER: prints what is missing; 0 complete, 1 incomplete.
int check(const std::vector<std::string>& args);

}  // namespace skintool
