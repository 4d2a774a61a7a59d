#pragma once
// Whether a packet holds the fields a test expects, each read as the kind of value it is given
// as (a number, a short, a flag or a text); the failure names every key that is missing or
// differs. Used as EXPECT_TRUE(HasFields(packet, {{20, "amy"}, {30, 1}})).

#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <type_traits>
#include <variant>

namespace tavotest {

inline testing::AssertionResult HasFields(const CKParam& packet, tagFields expected) {
    std::ostringstream problems;
    const auto shown = [](const auto& v) {
        std::ostringstream out;
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, QString>) {
            out << '"' << v.toStdString() << '"';
        } else {
            out << v;
        }
        return out.str();
    };
    for (const tagField& field : expected) {
        std::visit(
            [&](const auto& want) {
                using T = std::decay_t<decltype(want)>;
                T got{};
                int missing = 0;
                if constexpr (std::is_same_v<T, int>) {
                    missing = packet.GetInt(field.key, got);
                } else if constexpr (std::is_same_v<T, short>) {
                    missing = packet.GetShortInt(field.key, got);
                } else if constexpr (std::is_same_v<T, bool>) {
                    missing = packet.GetBoolean(field.key, got);
                } else {
                    missing = packet.GetCString(field.key, got);
                }
                if (missing != 0) {
                    problems << " key " << field.key << " is missing;";
                } else if (got != want) {
                    problems << " key " << field.key << " is " << shown(got) << ", not "
                             << shown(want) << ";";
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
