#include "comm/api/bounded_string.h"
#include "comm/structures/target_sizes.h"
#include "comm/structures/transfer_functions.h"

#include <cstdio>

namespace tola::structures {
namespace {

constexpr std::size_t kReportSize = 10000;

void append(char* text, const char* line) { bStr_cat(text, line, kReportSize); }

// One compared line: the instrument's size against the size this library moves.
void compared_line(char* text, const char* name, std::uint32_t address, std::uint32_t reported,
                   std::uint32_t target) {
    char line[160];
    std::snprintf(line, sizeof line, "%s\t %8.8x\t%d\t%d%s", name, address, static_cast<int>(reported),
                  static_cast<int>(target), reported == target ? "\r\n" : "\t!! diff !!\r\n");
    append(text, line);
}

void plain_line(char* text, const char* name, std::uint32_t address, std::uint32_t size_a, std::uint32_t size_b) {
    char line[160];
    std::snprintf(line, sizeof line, "%s\t %8.8x\t%d\t%d\r\n", name, address, static_cast<int>(size_a),
                  static_cast<int>(size_b));
    append(text, line);
}

}  // namespace

void structure_table_report(char* text, const COMM_STRUCTURE_TABLE* table, const COMM_STRUCTURE_SIZES* sizes) {
    if (text == nullptr) return;
    static const COMM_STRUCTURE_TABLE empty_table{};
    static const COMM_STRUCTURE_SIZES empty_sizes{};
    const COMM_STRUCTURE_TABLE& t = table != nullptr ? *table : empty_table;
    const COMM_STRUCTURE_SIZES& s = sizes != nullptr ? *sizes : empty_sizes;
    const SizeRow& target = current_target_sizes();

    bStr_cpy(text, "Structure\tTarget Address\tTarget size\tWindows size\r\n\r\n", kReportSize);
    compared_line(text, "dCOMM_VERSION", t.dCOMM_VERSION, s.dCOMM_VERSION, target[word::kVersion]);
    compared_line(text, "dSETUP_ROM", t.dSETUP_ROM, s.dSETUP_ROM, target[word::kSetup]);
    compared_line(text, "dTOLA_SHADE_ROM", t.dTOLA_SHADE_ROM, s.dTOLA_SHADE_ROM, target[word::kShadeTable]);
    compared_line(text, "dNORM", t.dNORM, s.dNORM, target[word::kNorm]);
    compared_line(text, "dMEASURE_DETAILS", t.dMEASURE_DETAILS, s.dMEASURE_DETAILS, target[word::kDetails]);
    compared_line(text, "dRESULTS", t.dRESULTS, s.dRESULTS, target[word::kResults]);
    compared_line(text, "dDATA", t.dDATA, s.dDATA, target[word::kData]);
    compared_line(text, "dCOMM_USB_HOST", t.dCOMM_USB_HOST, s.dCOMM_USB_HOST, target[word::kHostBlock]);
    compared_line(text, "dCOMM_DISPLAY_TEXT", t.dCOMM_DISPLAY_TEXT, s.dCOMM_DISPLAY_TEXT, target[word::kDisplayText]);

    append(text, "\r\nChromatik only (size not available)\r\n\r\n");
    // The first two additional blocks have fixed sizes on the classic instrument.
    plain_line(text, "dCK_PS_BUFF(ADD_1)", t.dADD_1, s.dADD_1, 128);
    plain_line(text, "dCK_TF_BUFFER(ADD_2)", t.dADD_2, s.dADD_2, 50);
    plain_line(text, "dCK_PS_PARM(ADD_3)", t.dADD_3, s.dADD_3, target[word::kAdd3]);
    plain_line(text, "dCK_TOUCHSCREEN(ADD_4)", t.dADD_4, s.dADD_4, target[word::kAdd4]);
    plain_line(text, "dCK_TEST_FIXTURE(ADD_5)", t.dADD_5, s.dADD_5, target[word::kAdd5]);

    append(text, "\r\nCKII and later\r\n\r\n");
    compared_line(text, "dMEAS", t.dMEAS, s.dMEAS, target[word::kMeas]);
    compared_line(text, "dSETTINGS", t.dSETTINGS, s.dSETTINGS, target[word::kSettings]);
    compared_line(text, "dCOMM_structure_size", t.dCOMM_STRUCTURE_TABLE_SIZES, s.dCOMM_STRUCTURE_TABLE_SIZES, 96);
}

}  // namespace tola::structures
