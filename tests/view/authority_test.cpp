// The names a request may reach the view by without a token, and the
// absolute-form request target taken apart.
#include "view/http/authority.h"

#include <gtest/gtest.h>

#include <string>

namespace view {
namespace {

TEST(IsLocalAuthority, OnlyIpAddressesAndLocalhost) {
    const struct {
        const char* authority;
        bool local;
    } cases[] = {
        {"127.0.0.1", true},
        {"127.0.0.1:8080", true},
        {"192.168.1.20:8080", true},
        {"[::1]", true},
        {"[::1]:8080", true},
        {"[::ffff:127.0.0.2]:80", true},
        {"localhost", true},
        {"LocalHost:8080", true},
        {"attacker.example", false},
        {"attacker.example:8080", false},
        {"127.0.0.1.attacker.example", false},
        {"localhost.attacker.example", false},
        {"localhost.", false},
        {"2130706433", false},  // 127.0.0.1 as one number: resolved by name, not an address
        {"127.1", false},
        {"::1", false},  // IPv6 without its brackets
        {"[::1", false},
        {"[attacker.example]", false},
        {"127.0.0.1:", false},
        {"127.0.0.1:80a", false},
        {"127.0.0.1:1234567", false},
        {"", false},
        {":8080", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLocalAuthority(c.authority), c.local) << "'" << c.authority << "'";
}

TEST(SplitAbsoluteTarget, AuthorityAndPath) {
    const struct {
        const char* target;
        bool absolute;
        const char* authority;
        const char* path;
    } cases[] = {
        {"http://127.0.0.1:8080/screen.json?t=1", true, "127.0.0.1:8080", "/screen.json?t=1"},
        {"HTTP://evil.example", true, "evil.example", "/"},
        {"http://evil.example?token=x", true, "evil.example", "/?token=x"},
        {"http://evil.example//other.example/", true, "evil.example", "//other.example/"},
        {"/screen.json", false, "", ""},
        {"//evil.example/", false, "", ""},
        {"https://evil.example/", false, "", ""},
    };
    for (const auto& c : cases) {
        std::string_view authority;
        std::string path;
        EXPECT_EQ(SplitAbsoluteTarget(c.target, &authority, &path), c.absolute) << c.target;
        if (!c.absolute) continue;
        EXPECT_EQ(authority, c.authority) << c.target;
        EXPECT_EQ(path, c.path) << c.target;
    }
}

}  // namespace
}  // namespace view
