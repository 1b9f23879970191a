// Build-time tool: writes the eleven built-in firmware images into a folder,
// with an assembler file that embeds them in the program and a C++ table of
// their symbols.
//   generate_images OUTDIR
#include "data/firmware/image_generator.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: generate_images OUTDIR\n";
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    std::ofstream asm_file(out / "firmware_images.S");
    std::ofstream table(out / "firmware_images.inc");
    asm_file << "/* generated: the built-in firmware images */\n\t.section .rodata\n";
    table << "// generated: symbols of the built-in firmware images, in the order of kFirmwareImages\n";
    std::string entries;
    for (const auto& description : ckupdate::kFirmwareImages) {
        const std::string symbol = std::string("ck_firmware_V") + description.release;
        const std::string file = "CK50_STM32F2x_App_firmware_V" + std::string(description.release) + "_Rel_Boot.bin";
        const auto bytes = ckupdate::data::GenerateFirmwareImage(description);
        std::ofstream bin(out / file, std::ios::binary);
        bin.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!bin) {
            std::cerr << "generate_images: cannot write " << (out / file) << '\n';
            return 1;
        }
        asm_file << "\t.global " << symbol << "\n\t.balign 16\n" << symbol << ":\n\t.incbin \""
                 << (out / file).string() << "\"\n";
        table << "extern \"C\" const unsigned char " << symbol << "[];\n";
        entries += "    " + symbol + ",\n";
    }
    asm_file << "\t.section .note.GNU-stack,\"\",@progbits\n";
    table << "static const unsigned char* const kEmbeddedImages[] = {\n" << entries << "};\n";
    return asm_file && table ? 0 : 1;
}
