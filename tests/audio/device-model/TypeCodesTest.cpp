// The conversion tables between the model's small value types and the hardware's codes.
#include <gtest/gtest.h>

#include "audio/device-model/Scope.h"
#include "audio/device-model/TerminalType.h"
#include "audio/device-model/TransportType.h"
#include "platform/coreaudio/AudioTypes.h"

namespace pex {
namespace {

using coreaudio::fourCC;

TEST(ScopeTest, ConvertsBothWays) {
    const std::vector<std::pair<Scope, std::uint32_t>> table = {
        {Scope::global, fourCC("glob")},
        {Scope::input, fourCC("inpt")},
        {Scope::output, fourCC("outp")},
        {Scope::playthrough, fourCC("ptru")},
        {Scope::master, 0},
        {Scope::wildcard, fourCC("****")},
        {Scope::main, 0},
    };
    for (const auto& [scope, code] : table) {
        EXPECT_EQ(propertyScope(scope), code) << scopeName(scope);
        EXPECT_EQ(scopeNamed(scopeName(scope)), scope);
    }
    EXPECT_EQ(scopeFromPropertyScope(fourCC("glob")), Scope::global);
    EXPECT_EQ(scopeFromPropertyScope(fourCC("inpt")), Scope::input);
    EXPECT_EQ(scopeFromPropertyScope(fourCC("outp")), Scope::output);
    EXPECT_EQ(scopeFromPropertyScope(fourCC("ptru")), Scope::playthrough);
    EXPECT_EQ(scopeFromPropertyScope(0), Scope::master);  // never main
    EXPECT_EQ(scopeFromPropertyScope(fourCC("****")), Scope::wildcard);
    EXPECT_EQ(scopeFromPropertyScope(fourCC("abcd")), Scope::wildcard);
    EXPECT_EQ(scopeFromPropertyScope(7), Scope::wildcard);
}

TEST(TerminalTypeTest, CodesAndRawValues) {
    const std::vector<std::tuple<const char*, TerminalType, const char*>> table = {
        {"line", TerminalType::line, "Line"},
        {"spdf", TerminalType::digitalAudioInterface, "Digital Audio Interface"},
        {"spkr", TerminalType::speaker, "Speaker"},
        {"hdph", TerminalType::headphones, "Headphones"},
        {"lfes", TerminalType::lfeSpeaker, "LFE Speaker"},
        {"rspk", TerminalType::receiverSpeaker, "Receiver Speaker"},
        {"micr", TerminalType::microphone, "Microphone"},
        {"hmic", TerminalType::headsetMicrophone, "Headset Microphone"},
        {"rmic", TerminalType::receiverMicrophone, "Receiver Microphone"},
        {"tty_", TerminalType::tty, "TTY"},
        {"hdmi", TerminalType::hdmi, "HDMI"},
        {"dprt", TerminalType::displayPort, "DisplayPort"},
    };
    for (const auto& [code, type, raw] : table) {
        EXPECT_EQ(terminalTypeFromCode(fourCC(code)), type) << code;
        EXPECT_EQ(rawValue(type), raw);
        EXPECT_EQ(terminalTypeFromRawValue(raw), type);
    }
    EXPECT_EQ(terminalTypeFromCode(fourCC("xxxx")), TerminalType::unknown);
    EXPECT_EQ(terminalTypeFromCode(0), TerminalType::unknown);
    EXPECT_EQ(rawValue(TerminalType::unknown), "Unknown");
    EXPECT_EQ(terminalTypeFromRawValue("Unknown"), TerminalType::unknown);
    EXPECT_EQ(terminalTypeFromRawValue("headphones"), std::nullopt);  // exact comparison
}

TEST(TransportTypeTest, CodesAndRawValues) {
    const std::vector<std::tuple<const char*, TransportType, const char*>> table = {
        {"bltn", TransportType::builtIn, "Built-In"},
        {"grup", TransportType::aggregate, "Aggregate"},
        {"virt", TransportType::virtual_, "Virtual"},
        {"pci ", TransportType::pci, "PCI"},
        {"usb ", TransportType::usb, "USB"},
        {"1394", TransportType::fireWire, "FireWire"},
        {"blue", TransportType::bluetooth, "Bluetooth"},
        {"blea", TransportType::bluetoothLE, "Bluetooth LE"},
        {"hdmi", TransportType::hdmi, "HDMI"},
        {"dprt", TransportType::displayPort, "DisplayPort"},
        {"airp", TransportType::airPlay, "AirPlay"},
        {"eavb", TransportType::avb, "AVB"},
        {"thun", TransportType::thunderbolt, "Thunderbolt"},
        {"ntwk", TransportType::network, "Network"},
        {"othr", TransportType::other, "Other"},
    };
    for (const auto& [code, type, raw] : table) {
        EXPECT_EQ(transportTypeFromCode(fourCC(code)), type) << code;
        EXPECT_EQ(rawValue(type), raw);
        EXPECT_EQ(transportTypeFromRawValue(raw), type);
    }
    EXPECT_EQ(transportTypeFromCode(fourCC("zzzz")), TransportType::unknown);
    EXPECT_EQ(transportTypeFromRawValue("Unknown"), TransportType::unknown);
    EXPECT_EQ(transportTypeFromRawValue("usb"), std::nullopt);
    EXPECT_EQ(transportTypeFromRawValue("Firewire"), std::nullopt);
}

TEST(FourCharacterCodeTest, BigEndianValueAndText) {
    EXPECT_EQ(fourCC("volm"), 0x766F6C6Du);
    EXPECT_EQ(coreaudio::fourCCText(fourCC("dOut")), "'dOut'");
    EXPECT_EQ(coreaudio::fourCCText(0), "0");
    EXPECT_EQ(coreaudio::describe({fourCC("volm"), fourCC("outp"), 2}), "'volm', 'outp', 2");
    EXPECT_EQ(static_cast<std::uint32_t>(coreaudio::status::badObject), fourCC("!obj"));
}

}  // namespace
}  // namespace pex
