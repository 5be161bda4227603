// Font-table calls, their flags, and when the broadcast is sent.
#include <gtest/gtest.h>

#include "context/plugin_context.h"
#include "fileops/platform.h"
#include "fileops/platform_hooks.h"
#include "fonts/fonts.h"
#include "tests/test_support.h"
#include "uninstall/cleanup.h"

namespace vx::test {
namespace {

class Fonts : public ::testing::Test {
protected:
    TempTree t;
    CapturingSink sink;
    VXContextParams params;
    std::unique_ptr<VXPluginContext> context;

    void SetUp() override {
        params.fontRegistrationMode = 2;
        context = std::make_unique<VXPluginContext>(params);
    }
    WideString Font(const std::string& name) {
        t.File(name, UniqueFont());
        return t.Win(name);
    }
};

TEST_F(Fonts, RemovalOutsideABatchBroadcastsOnce) {
    const WideString f = Font("a.otf");
    ASSERT_TRUE(RegisterFontFile(context.get(), f, 2));
    ScopedHooks hooks;
    EXPECT_TRUE(UnregisterFontFile(context.get(), f));
    // The second call tells that the table let go.
    ASSERT_EQ(hooks.Count(Op::RemoveFontResourceExW), 2);
    ASSERT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
    const auto& calls = hooks.Calls();
    EXPECT_EQ(calls.back().op, Op::SendNotifyMessageW);
    EXPECT_EQ(calls.back().n1, win::kHwndBroadcast);
    EXPECT_EQ(calls.back().n2, std::uint64_t{win::kWmFontChange} << 32);
    EXPECT_EQ(hooks.CallsOf(Op::RemoveFontResourceExW)[0].n1, 0u);  // public: flags 0
    // It is out of the table now.
    EXPECT_FALSE(win::RemoveFontResourceExW(f.c_str(), 0));
    // A table that never lets go is asked a bounded number of times.
    hooks.FailAll(Op::RemoveFontResourceExW, {1, 0});
    hooks.Clear();
    UnregisterFontFile(context.get(), f);
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 64);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
}

TEST_F(Fonts, RemovalsInsideABatchWaitForItsEnd) {
    std::vector<WideString> files{Font("1.otf"), Font("2.otf"), Font("3")};
    for (auto& f : files) ASSERT_TRUE(RegisterFontFile(context.get(), f, 2));
    ScopedHooks hooks;
    {
        FontChangeBatch batch(context.get());
        for (auto& f : files) UnregisterFontFile(context.get(), f);
        EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
        EXPECT_TRUE(context->fontChangePending);
    }
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 1);
    EXPECT_FALSE(context->fontBatchActive);
}

TEST_F(Fonts, NothingRemovedNothingAnnounced) {
    const WideString f = Font("never-added.otf");
    t.Dir("folder.otf");
    ScopedHooks hooks;
    context->fontBatchActive = true;
    context->fontChangePending = false;
    EXPECT_FALSE(UnregisterFontFile(context.get(), f));
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 1);
    EXPECT_FALSE(context->fontChangePending);
    context->fontBatchActive = false;
    UnregisterFontFile(context.get(), f);
    UnregisterFontFile(context.get(), t.Win("missing.otf"));
    UnregisterFontFile(context.get(), t.Win("folder.otf"));
    UnregisterFontFile(context.get(), u"");
    EXPECT_EQ(hooks.Count(Op::RemoveFontResourceExW), 2);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
}

TEST_F(Fonts, ScopeChoosesTheFlags) {
    // One file per scope: Wine folds a public add of a font it already holds
    // privately into the private entry, where Windows keeps the two apart.
    const WideString priv = Font("private.otf"), pub = Font("public.otf");
    ScopedHooks hooks;
    for (int scope : {0, 1, 3}) ASSERT_TRUE(RegisterFontFile(context.get(), priv, scope));
    ASSERT_TRUE(RegisterFontFile(context.get(), pub, 2));
    const auto adds = hooks.CallsOf(Op::AddFontResourceExW);
    ASSERT_EQ(adds.size(), 4u);
    EXPECT_EQ(adds[0].n1, win::kFrPrivate);
    EXPECT_EQ(adds[1].n1, win::kFrPrivate);
    EXPECT_EQ(adds[2].n1, win::kFrPrivate);
    EXPECT_EQ(adds[3].n1, 0u);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 4);
    // Removal takes its scope from the context's mode and must match the add.
    context->params.fontRegistrationMode = 2;
    UnregisterFontFile(context.get(), priv);  // public removal of a private font: refused
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 4);
    // One removal takes all three references (three calls that succeed and
    // one that fails) and announces once; later ones find nothing.
    context->params.fontRegistrationMode = 1;
    for (int i = 0; i < 3; ++i) UnregisterFontFile(context.get(), priv);
    context->params.fontRegistrationMode = 2;
    UnregisterFontFile(context.get(), pub);
    const auto removes = hooks.CallsOf(Op::RemoveFontResourceExW);
    ASSERT_EQ(removes.size(), 1u + 4 + 2 + 2);
    EXPECT_EQ(removes[0].n1, 0u);
    EXPECT_EQ(removes[1].n1, win::kFrPrivate);
    EXPECT_EQ(removes[8].n1, 0u);
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 4 + 2);
    EXPECT_FALSE(win::RemoveFontResourceExW(priv.c_str(), win::kFrPrivate));
    EXPECT_FALSE(win::RemoveFontResourceExW(pub.c_str(), 0));
}

TEST_F(Fonts, FailedAddIsReportedAndNotAnnounced) {
    ScopedHooks hooks;
    EXPECT_FALSE(RegisterFontFile(context.get(), t.Win("missing.otf"), 2));
    EXPECT_EQ(hooks.Count(Op::SendNotifyMessageW), 0);
    ASSERT_EQ(sink.reports.size(), 1u);
    EXPECT_EQ(sink.reports[0].text.rfind("AddFontResourceEx failed, code=", 0), 0u);
    sink.reports.clear();
    hooks.FailAll(Op::AddFontResourceExW, {0, 32});
    context->fontBatchActive = true;
    EXPECT_FALSE(RegisterFontFile(context.get(), Font("x.otf"), 1));
    EXPECT_FALSE(context->fontChangePending);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"AddFontResourceEx failed, code=32"});
}

}  // namespace
}  // namespace vx::test
