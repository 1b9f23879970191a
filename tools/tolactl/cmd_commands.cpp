// tolactl device and controller commands.
#include "commands.h"
#include "session.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

namespace tolactl {
namespace {

void report(const char* what, std::int32_t ok, const PXM_COMM& c) {
    if (!ok) throw Failure(std::string(what) + " failed" + (c.ssStatus[0] ? ": " + to_utf8(c.ssStatus) : ""), 1);
    std::printf("%s: ok\n", what);
}

// A command that connects, runs one library call and reports its flag.
void simple(CLI::App& app, std::shared_ptr<PortOption> port, const char* name, const char* help,
            std::function<std::int32_t()> call) {
    auto* cmd = app.add_subcommand(name, help);
    add_port_option(*cmd, *port);
    cmd->callback([port, name, call] {
        Session session(*port, Access::Writes);
        report(name, call(), session.record());
    });
}

template <class T>
void simple_with(CLI::App& app, std::shared_ptr<PortOption> port, const char* name, const char* help,
                 const char* value_name, std::function<std::int32_t(T)> call) {
    auto value = std::make_shared<T>();
    auto* cmd = app.add_subcommand(name, help);
    cmd->add_option(value_name, *value)->required();
    add_port_option(*cmd, *port);
    cmd->callback([port, name, call, value] {
        Session session(*port, Access::Writes);
        report(name, call(*value), session.record());
    });
}

std::uint32_t parse_word(const std::string& text) {
    std::size_t used = 0;
    const unsigned long long v = std::stoull(text, &used, 0);
    if (used != text.size() || v > 0xFFFFFFFFull) throw CLI::ValidationError("WORD", "not a 32-bit number: " + text);
    return static_cast<std::uint32_t>(v);
}

}  // namespace

void add_command_commands(CLI::App& app) {
    auto port = std::make_shared<PortOption>();
    simple(app, port, "reset", "Reset the instrument (waits 2.5 s)", [] { return bTOLA_comm_reset(); });
    simple_with<std::int32_t>(app, port, "state", "Set the instrument state (53 stores, then state 20)", "N",
                              [](std::int32_t n) { return bTOLA_comm_set_state(n); });
    simple_with<std::int32_t>(app, port, "bias", "Set the bias value", "V",
                              [](std::int32_t v) { return bTOLA_comm_set_bias(v); });
    simple_with<std::int32_t>(app, port, "rate", "Set the sample-rate index (0..12)", "I",
                              [](std::int32_t i) { return bTOLA_comm_set_sample_rate(i); });
    simple_with<std::int32_t>(app, port, "lamp", "Switch lamp, shutter and LEDs", "BITS",
                              [](std::int32_t b) { return bTOLA_comm_lamp_shutter_LED(b); });
    simple(app, port, "measure", "Start a colour measurement", [] { return bTOLA_comm_measure_color(); });
    simple(app, port, "calibrate", "Start a calibration", [] { return bTOLA_comm_calibrate(); });
    simple(app, port, "defaults", "Restore the instrument's default settings", [] { return bTOLA_comm_defaults(); });
    simple(app, port, "slave", "Put the instrument under host control", [] {
        TOLA_comm_slave_mode();
        return 1;
    });

    auto* brll = app.add_subcommand("brll", "Read bias, sample-rate index and lamp bits");
    add_port_option(*brll, *port);
    brll->callback([port] {
        Session session(*port);
        int16_t bias = 0;
        int32_t rate = 0, lamp = 0;
        report("brll", bTOLA_comm_get_current_BRLL(&bias, &rate, &lamp), session.record());
        std::printf("bias %d, rate index %d, lamp bits 0x%X\n", bias, rate, static_cast<unsigned>(lamp));
    });

    auto words = std::make_shared<std::vector<std::string>>();
    auto wait = std::make_shared<std::int64_t>(-1);
    auto* send = app.add_subcommand("send", "Send a host command block (words 0..15) and print the answer");
    send->add_option("WORDS", *words, "word 0 first; missing words are 0")->required()->expected(1, 16);
    send->add_option("--wait", *wait, "milliseconds to wait for the answer (word 14)");
    add_port_option(*send, *port);
    send->callback([port, words, wait] {
        COMM_USB_HOST block{};
        for (std::size_t i = 0; i < words->size(); ++i) block.qdWord[i] = parse_word((*words)[i]);
        if (*wait >= 0) block.qdWord[14] = static_cast<std::uint32_t>(*wait);
        Session session(*port, Access::Writes);
        report("send", bTOLA_comm_send_command(&block), session.record());
        for (int i = 0; i < 16; ++i) std::printf("word %2d: %10u  0x%08X\n", i, block.qdWord[i], block.qdWord[i]);
    });

    auto* cpu = app.add_subcommand("cpu-type", "Print the controller type (1 H8SX, 2 STM32)");
    add_port_option(*cpu, *port);
    cpu->callback([port] {
        Session session(*port);
        int32_t type = 0;
        bTOLA_comm_GetCpuType(&type);
        std::printf("cpu type %d\n", type);
    });

    auto code = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>("0");
    auto* ctl = app.add_subcommand("ctl-cmd", "Send a controller (boot-loader) command: 9 erase, 10 leave, 11 enter");
    ctl->add_option("C", *code)->required();
    ctl->add_option("V", *value);
    add_port_option(*ctl, *port);
    ctl->callback([port, code, value] {
        Session session(*port, Access::Writes);
        report("ctl-cmd",
               bTOLA_comm_Controller_command(static_cast<int32_t>(parse_word(*code)), static_cast<int32_t>(parse_word(*value))),
               session.record());
    });

    auto address = std::make_shared<std::string>();
    auto length = std::make_shared<std::int32_t>(0);
    auto* ctl_read = app.add_subcommand("ctl-read", "Read controller memory (at most 128 bytes)");
    ctl_read->add_option("ADDR", *address)->required();
    ctl_read->add_option("LEN", *length)->required()->check(CLI::Range(1, 128));
    add_port_option(*ctl_read, *port);
    ctl_read->callback([port, address, length] {
        Session session(*port);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(*length));
        const std::uint32_t at = parse_word(*address);
        report("ctl-read", bTOLA_comm_Controller_read(data.data(), at, *length), session.record());
        for (std::size_t i = 0; i < data.size(); ++i)
            std::printf("%s%02x%s", i % 16 == 0 ? (std::printf("%08zx ", at + i), " ") : " ", data[i],
                        i % 16 == 15 || i + 1 == data.size() ? "\n" : "");
    });

    auto file = std::make_shared<std::string>();
    auto* ctl_write = app.add_subcommand("ctl-write", "Write a file to controller memory in 128-byte blocks");
    ctl_write->add_option("ADDR", *address)->required();
    ctl_write->add_option("FILE", *file)->required()->check(CLI::ExistingFile);
    add_port_option(*ctl_write, *port);
    ctl_write->callback([port, address, file] {
        std::ifstream in(*file, std::ios::binary);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Session session(*port, Access::Writes);
        const std::uint32_t at = parse_word(*address);
        for (std::size_t done = 0; done < data.size(); done += 128) {
            const auto n = static_cast<std::int32_t>(std::min<std::size_t>(128, data.size() - done));
            if (!bTOLA_comm_Controller_write(data.data() + done, at + static_cast<std::uint32_t>(done), n, 10))
                throw Failure("ctl-write failed at offset " + std::to_string(done), 1);
        }
        std::printf("ctl-write: %zu bytes written\n", data.size());
    });
}

}  // namespace tolactl
