#include "comm/structures/target_sizes.h"

namespace tola::structures {
namespace {

SizeRow initial_sizes() {
    SizeRow row{};
    row[word::kVersion] = 260;
    row[word::kHostBlock] = 64;
    row[word::kTable] = 96;
    return row;
}

SizeRow& sizes() {
    static SizeRow row = initial_sizes();
    return row;
}

}  // namespace

const SizeRow& current_target_sizes() { return sizes(); }
void adopt_target_sizes(const SizeRow& row) { sizes() = row; }
void reset_target_sizes() { sizes() = initial_sizes(); }

}  // namespace tola::structures
