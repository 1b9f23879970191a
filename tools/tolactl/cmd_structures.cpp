// tolactl info, table, read and write.
#include "commands.h"
#include "session.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace tolactl {
namespace {

void print_hex(const std::vector<std::uint8_t>& bytes) {
    for (std::size_t row = 0; row < bytes.size(); row += 16) {
        std::printf("%06zx ", row);
        for (std::size_t i = row; i < row + 16; ++i) {
            if (i < bytes.size())
                std::printf(" %02x", bytes[i]);
            else
                std::printf("   ");
        }
        std::printf("  ");
        for (std::size_t i = row; i < row + 16 && i < bytes.size(); ++i)
            std::putchar(bytes[i] >= 0x20 && bytes[i] < 0x7F ? bytes[i] : '.');
        std::putchar('\n');
    }
}

int checked_id(int id) {
    if (structure_size(id) == 0) throw CLI::ValidationError("ID", "no structure has identifier " + std::to_string(id));
    return id;
}

}  // namespace

void add_structure_commands(CLI::App& app) {
    auto port = std::make_shared<PortOption>();

    auto* info = app.add_subcommand("info", "Connect and print the instrument's identity");
    add_port_option(*info, *port);
    info->callback([port] {
        Session session(*port);
        const PXM_COMM& c = session.record();
        char name[501] = {};
        bTOLA_comm_get_interface_name(name);
        std::printf("Instrument:  %s\n", to_utf8(c.snDevice).c_str());
        std::printf("Firmware:    %s\n", to_utf8(c.snVersion).c_str());
        std::printf("Interface:   %s\n", to_utf8(c.snInterface).c_str());
        std::printf("Serial:      %s\n", to_utf8(c.snSerial_number).c_str());
        std::printf("Connection:  %s\n", to_utf8(name).c_str());
        std::printf("Kind:        %u (vendor 0x%04X, product 0x%04X)\n", c.iDevice, c.dVID, c.dPID);
    });

    auto* table = app.add_subcommand("table", "Print the instrument's structure table");
    add_port_option(*table, *port);
    table->callback([port] {
        Session session(*port);
        COMM_STRUCTURE_TABLE t{};
        COMM_STRUCTURE_SIZES s{};
        char message[501] = {};
        if (!bTOLA_Transfer_local_structure(&session.record(), &t, CKPSTRUCT_COMMSTRUCTURETABLE, sizeof t, 2, message))
            throw Failure(std::string("structure table: ") + message, 1);
        bTOLA_Transfer_local_structure(&session.record(), &s, CKPSTRUCT_COMMSTRUCTURESIZES, sizeof s, 2, message);
        std::vector<char> text(10001, 0);
        TOLA_Get_COMM_structure_table(text.data(), &t, &s);
        std::fputs(to_utf8(text.data()).c_str(), stdout);
    });

    auto read_id = std::make_shared<int>(0);
    auto out_file = std::make_shared<std::string>();
    auto* read = app.add_subcommand("read", "Upload a structure from the instrument (hex dump, or --out FILE)");
    read->add_option("ID", *read_id, "structure identifier (add 2048 for the library's copy only)")->required();
    read->add_option("--out", *out_file, "write the raw bytes to this file");
    add_port_option(*read, *port);
    read->callback([port, read_id, out_file] {
        const int id = checked_id(*read_id);
        Session session(*port);
        std::vector<std::uint8_t> bytes(structure_size(id));
        char message[501] = {};
        if (!bTOLA_Transfer_local_structure(&session.record(), bytes.data(), id, static_cast<std::int32_t>(bytes.size()),
                                            2, message))
            throw Failure("read " + std::to_string(id) + ": " + to_utf8(message), 1);
        if (out_file->empty()) {
            print_hex(bytes);
        } else {
            std::ofstream out(*out_file, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) throw Failure("cannot write " + *out_file, 1);
        }
    });

    auto write_id = std::make_shared<int>(0);
    auto in_file = std::make_shared<std::string>();
    auto* write = app.add_subcommand("write", "Download a structure from a file to the instrument");
    write->add_option("ID", *write_id, "structure identifier")->required();
    write->add_option("FILE", *in_file, "raw bytes in the library's host layout")->required()->check(CLI::ExistingFile);
    add_port_option(*write, *port);
    write->callback([port, write_id, in_file] {
        const int id = checked_id(*write_id);
        std::ifstream in(*in_file, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() != structure_size(id))
            throw CLI::ValidationError("FILE", "holds " + std::to_string(bytes.size()) + " bytes, identifier " +
                                                   std::to_string(id) + " takes " + std::to_string(structure_size(id)));
        Session session(*port, Access::Writes);
        char message[501] = {};
        if (!bTOLA_Transfer_local_structure(&session.record(), bytes.data(), id, static_cast<std::int32_t>(bytes.size()),
                                            1, message))
            throw Failure("write " + std::to_string(id) + ": " + to_utf8(message), 1);
        std::printf("identifier %d written (%zu bytes)\n", id, bytes.size());
    });
}

}  // namespace tolactl
