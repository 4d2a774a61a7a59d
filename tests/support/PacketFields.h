#pragma once
// Whether a packet holds the fields a test expects, each read as the kind of value it is given
// as; the failure names every key that is missing or differs. Used as
// EXPECT_TRUE(HasFields(packet, {{20, "amy"}, {30, 1}})).

#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>

namespace tavotest {

// Reads and shows a field as the kind of value it is expected as.
struct tagFieldAs {
    static int Read(const CKParam& p, short key, int& v) { return p.GetInt(key, v); }
    static int Read(const CKParam& p, short key, short& v) { return p.GetShortInt(key, v); }
    static int Read(const CKParam& p, short key, bool& v) { return p.GetBoolean(key, v); }
    static int Read(const CKParam& p, short key, QString& v) { return p.GetCString(key, v); }
    static std::string Shown(const QString& v) { return '"' + v.toStdString() + '"'; }
    static std::string Shown(int v) { return std::to_string(v); }
};

inline testing::AssertionResult HasFields(const CKParam& packet, tagFields expected) {
    std::ostringstream problems;
    for (const tagField& field : expected) {
        std::visit(
            [&](const auto& want) {
                std::decay_t<decltype(want)> got{};
                if (tagFieldAs::Read(packet, field.key, got) != 0) {
                    problems << " key " << field.key << " is missing;";
                } else if (got != want) {
                    problems << " key " << field.key << " is " << tagFieldAs::Shown(got) << ", not "
                             << tagFieldAs::Shown(want) << ";";
                }
            },
            field.value);
    }
    if (problems.str().empty()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "the packet's" << problems.str();
}

inline testing::AssertionResult HasFields(const CPacketCopy& copy, tagFields expected) {
    return HasFields(copy.Loaded(), expected);
}

}  // namespace tavotest
