// The version, locale and time texts, from injected system answers.
#include <gtest/gtest.h>

#include <cstring>

#include "context/environment.h"
#include "fileops/platform_hooks.h"
#include "tests/test_support.h"

namespace vx::test {
namespace {

void InjectVersion(ScopedHooks& hooks, win::DWORD major, win::DWORD minor, win::DWORD build,
                   std::uint8_t product) {
    hooks.Inject([=](const Call& c) -> std::optional<Outcome> {
        if (c.op != Op::GetVersionExW) return std::nullopt;
        auto* info = static_cast<win::OsVersionInfo*>(c.out);
        if (info->size != win::kOsVersionInfoExSize) return Outcome{0, 122};
        info->majorVersion = major;
        info->minorVersion = minor;
        info->buildNumber = build;
        info->productType = product;
        return Outcome{1, 0};
    });
}

TEST(Environment, VersionText) {
    {
        ScopedHooks hooks;
        InjectVersion(hooks, 6, 1, 7601, 1);
        EXPECT_EQ(OsVersionText(), "6.1 7601");
    }
    {
        ScopedHooks hooks;
        InjectVersion(hooks, 6, 1, 7601, 3);
        EXPECT_EQ(OsVersionText(), "Server 6.1 7601");
    }
    {
        ScopedHooks hooks;
        InjectVersion(hooks, 10, 0, 19045, 2);
        EXPECT_EQ(OsVersionText(), "Server 10.0 19045");
    }
    {
        ScopedHooks hooks;
        hooks.FailAll(Op::GetVersionExW, {0, 122});
        EXPECT_EQ(OsVersionText(), "unknown");
    }
    const std::string real = OsVersionText();
    EXPECT_NE(real, "unknown");
    EXPECT_NE(real.find(' '), std::string::npos);
}

void InjectLocale(ScopedHooks& hooks, std::u16string name, int result) {
    hooks.Inject([=](const Call& c) -> std::optional<Outcome> {
        if (c.op != Op::GetUserDefaultLocaleName) return std::nullopt;
        auto* area = static_cast<char16_t*>(c.out);
        std::copy(name.begin(), name.end(), area);
        if (name.size() < win::kLocaleNameMaxLength) area[name.size()] = 0;
        return Outcome{result, 0};
    });
}

TEST(Environment, LocaleName) {
    {
        ScopedHooks hooks;
        InjectLocale(hooks, u"de-DE", 6);
        EXPECT_EQ(UserLocaleName(), "de-DE");
    }
    {
        ScopedHooks hooks;
        InjectLocale(hooks, u"", 1);
        EXPECT_EQ(UserLocaleName(), "unknown");
    }
    {
        ScopedHooks hooks;
        hooks.FailAll(Op::GetUserDefaultLocaleName, {0, 122});
        EXPECT_EQ(UserLocaleName(), "unknown");
    }
    {
        // A count past the area must not make us write outside it.
        ScopedHooks hooks;
        InjectLocale(hooks, u"xx-YY", 4000);
        EXPECT_EQ(UserLocaleName(), "xx-YY");
    }
    {
        // The same with the area full: its last unit becomes the end.
        ScopedHooks hooks;
        InjectLocale(hooks, std::u16string(win::kLocaleNameMaxLength, u'x'), 4000);
        EXPECT_EQ(UserLocaleName(), std::string(win::kLocaleNameMaxLength - 1, 'x'));
    }
    const std::string real = UserLocaleName();
    EXPECT_NE(real, "unknown");
    EXPECT_NE(real.find('-'), std::string::npos);
}

void InjectTime(ScopedHooks& hooks, win::SystemTime t) {
    hooks.Inject([=](const Call& c) -> std::optional<Outcome> {
        if (c.op != Op::GetSystemTime) return std::nullopt;
        *static_cast<win::SystemTime*>(c.out) = t;
        return Outcome{1, 0};
    });
}

TEST(Environment, TimestampForm) {
    {
        ScopedHooks hooks;
        InjectTime(hooks, {2025, 3, 3, 5, 7, 4, 9, 12});
        EXPECT_EQ(UtcTimestampText(), "2025-03-05T07:04:09.012000");
    }
    {
        ScopedHooks hooks;
        InjectTime(hooks, {2026, 1, 4, 1, 0, 0, 0, 0});
        EXPECT_EQ(UtcTimestampText(), "2026-01-01T00:00:00.000000");
    }
    const std::string now = UtcTimestampText();
    ASSERT_EQ(now.size(), 26u);
    EXPECT_EQ(now.substr(23), "000");
    EXPECT_EQ(now[10], 'T');
}

}  // namespace
}  // namespace vx::test
