// The command line: every option in both spellings, demo, refusals, --help.
#include "cli_options.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>

#include "tool_test_support.h"

namespace trelvane::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptions, DefaultsAreTheStreamDefaultOnTheAutoLineBetweenStandardStreams) {
    const ParseOutcome p = ParseCommandLine({});
    ASSERT_TRUE(p.ok);
    const ToolOptions& o = p.options;
    const FilterSettings d = DefaultStreamSettings();
    EXPECT_EQ(o.command, Command::kFilter);
    EXPECT_EQ(o.settings.mode, d.mode);
    EXPECT_EQ(o.settings.strength, d.strength);
    EXPECT_EQ(o.settings.noise, d.noise);
    EXPECT_EQ(o.line, LineChoice::kAuto);
    EXPECT_EQ(o.settings.line640, Line640For(LineChoice::kAuto));
    EXPECT_EQ(o.settings.mmx, 1);
    EXPECT_EQ(o.settings.test, 0);
    EXPECT_FALSE(o.settingsGiven);
    EXPECT_EQ(o.progress, ProgressChoice::kAuto);
    EXPECT_FALSE(o.yc48.has_value());
    EXPECT_EQ(o.input, "-");
    EXPECT_EQ(o.output, "-");
    EXPECT_EQ(o.maxFrames, -1);
    // The defaults are no longer the host's strength and noise.
    EXPECT_NE(std::pair(o.settings.strength, o.settings.noise), std::pair(FilterSettings{}.strength, FilterSettings{}.noise));
}

// A preset sets mode, strength and noise; each given on its own wins,
// before or after the preset; the line stays auto unless given.
TEST(CliOptions, ExplicitSettingsOverrideAPresetInAnyOrder) {
    for (const FilterPreset& preset : FilterPresets()) {
        SCOPED_TRACE(preset.name);
        const ParseOutcome plain = ParseCommandLine({"--preset", preset.name});
        ASSERT_TRUE(plain.ok) << plain.error;
        EXPECT_EQ(plain.options.settings.mode, preset.mode);
        EXPECT_EQ(plain.options.settings.strength, preset.strength);
        EXPECT_EQ(plain.options.settings.noise, preset.noise);
        EXPECT_EQ(plain.options.line, LineChoice::kAuto);
        EXPECT_TRUE(plain.options.settingsGiven);
        for (const Args& args : {Args{"--strength=5", "--preset", preset.name, "--mode", "1"},
                                 Args{"--preset=" + std::string(preset.name), "--mode", "1", "--strength", "5"}}) {
            const ParseOutcome p = ParseCommandLine(args);
            ASSERT_TRUE(p.ok) << p.error;
            EXPECT_EQ(p.options.settings.mode, 1);
            EXPECT_EQ(p.options.settings.strength, 5);
            EXPECT_EQ(p.options.settings.noise, preset.noise);
        }
    }
    const ParseOutcome line = ParseCommandLine({"--line", "720", "--preset", FilterPresets()[0].name});
    EXPECT_EQ(line.options.settings.line640, 0);
    EXPECT_EQ(ParseCommandLine({"--line", "720", "--line=auto"}).options.settings.line640,
              Line640For(LineChoice::kAuto));
    const ParseOutcome unknown = ParseCommandLine({"--preset", "VHS"});
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find("'VHS'"), std::string::npos) << unknown.error;
    for (const FilterPreset& preset : FilterPresets()) EXPECT_NE(unknown.error.find(preset.name), std::string::npos);
    // -q silences the progress line whatever --progress says.
    EXPECT_EQ(ParseCommandLine({"--progress", "always", "-q"}).options.progress, ProgressChoice::kNever);
    EXPECT_EQ(ParseCommandLine({"--progress=always"}).options.progress, ProgressChoice::kAlways);
}

TEST(CliOptions, EveryOptionInBothSpellings) {
    const ParseOutcome p = ParseCommandLine({"--mode", "2", "--strength=0", "--noise", "128", "--line=720", "--progress", "never",
                                             "--no-mmx", "--test-pattern", "--threads", "3", "--frames=7",
                                             "-q", "--yc48", "720x480:768", "in.yc", "out.yc"});
    ASSERT_TRUE(p.ok) << p.error;
    const ToolOptions& o = p.options;
    EXPECT_EQ(o.settings.mode, 2);
    EXPECT_EQ(o.settings.strength, 0);
    EXPECT_EQ(o.settings.noise, 128);
    EXPECT_EQ(o.settings.line640, 0);
    EXPECT_EQ(o.settings.mmx, 0);
    EXPECT_EQ(o.settings.test, 1);
    EXPECT_EQ(o.threads, 3);
    EXPECT_EQ(o.maxFrames, 7);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.progress, ProgressChoice::kNever);
    ASSERT_TRUE(o.yc48.has_value());
    EXPECT_EQ(o.yc48->width, 720);
    EXPECT_EQ(o.yc48->height, 480);
    EXPECT_EQ(o.yc48->pitch, 768);
    EXPECT_EQ(o.input, "in.yc");
    EXPECT_EQ(o.output, "out.yc");

    const ParseOutcome plain = ParseCommandLine({"--yc48", "5x3", "-", "--", "-odd-name"});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.options.yc48->pitch, 5);
    EXPECT_EQ(plain.options.input, "-");
    EXPECT_EQ(plain.options.output, "-odd-name");
}

TEST(CliOptions, DemoTakesAnOptionalDirectory) {
    EXPECT_EQ(ParseCommandLine({"demo"}).options.demoDir, "trelvane-demo");
    const ParseOutcome p = ParseCommandLine({"--strength", "32", "demo", "pics"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.command, Command::kDemo);
    EXPECT_EQ(p.options.demoDir, "pics");
    EXPECT_EQ(p.options.settings.strength, 32);
    EXPECT_FALSE(ParseCommandLine({"demo", "a", "b"}).ok);
    EXPECT_TRUE(ParseCommandLine({"--no-mmx", "-q", "--noise=3", "demo"}).ok);
    // Options the demo would ignore are refused, each by name.
    for (const Args& args : std::vector<Args>{{"--yc48", "4x4", "demo"}, {"demo", "--mode", "2"},
                                              {"--frames", "1", "demo"}, {"--threads=2", "demo"},
                                              {"demo", "--line", "720"}, {"--test-pattern", "demo"}}) {
        const ParseOutcome refused = ParseCommandLine(args);
        EXPECT_FALSE(refused.ok) << ::testing::PrintToString(args);
        const std::string name = args[0] == "demo" ? args[1] : args[0].substr(0, args[0].find('='));
        EXPECT_EQ(refused.error, "demo does not take " + name + " (only --strength, --noise, --no-mmx and --quiet)");
    }
    // After "--", demo is a file like any other.
    const ParseOutcome file = ParseCommandLine({"--", "demo", "out.y4m"});
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.options.command, Command::kFilter);
    EXPECT_EQ(file.options.input, "demo");
    EXPECT_EQ(ParseCommandLine({"demo", "--", "-pics"}).options.demoDir, "-pics");
}

TEST(CliOptions, RefusesBadValuesWithAReason) {
    const std::vector<Args> bad = {
        {"--mode", "5"},       {"--mode", "-1"},         {"--mode", "1x"},        {"--mode", ""},
        {"--mode"},            {"--strength", "129"},    {"--noise", "+3"},       {"--line", "700"},
        {"--threads", "0"},    {"--threads", "257"},     {"--frames", "-2"},      {"--bogus"},
        {"-x"},                {"--no-mmx=1"},           {"a", "b", "c"},         {"--yc48", "0x10"},
        {"--yc48", "10x"},     {"--yc48", "10x10:9"},    {"--yc48", "16385x1"},   {"--yc48", "8192x8192"},
        {"--yc48", "10*10"},   {"--yc48", "99999999999999999999x1"},
    };
    for (const Args& args : bad) {
        const ParseOutcome p = ParseCommandLine(args);
        EXPECT_FALSE(p.ok) << ::testing::PrintToString(args);
        EXPECT_FALSE(p.error.empty());
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}

TEST(CliOptions, UsageErrorsExitTwoWithOneLineAndHelpExitsZero) {
    testing::TempDir dir;
    const testing::ToolRun bad = testing::RunToolOn({"--mode", "9"}, "", "");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "trelvane: --mode: expected a whole number from 0 to 4, got '9' (see trelvane --help)\n");

    const testing::ToolRun help = testing::RunToolOn({"--help"}, "", dir.Path("help.txt"));
    EXPECT_EQ(help.status, 0);
    const std::string usage = testing::ReadFile(dir.Path("help.txt"));
    EXPECT_NE(usage.find("Usage: trelvane"), std::string::npos);
    for (const FilterPreset& preset : FilterPresets()) EXPECT_NE(usage.find(preset.summary), std::string::npos);
    const testing::ToolRun version = testing::RunToolOn({"--mode", "2", "--version", "--bogus"}, "", dir.Path("v.txt"));
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(testing::ReadFile(dir.Path("v.txt")), std::regex("trelvane \\d+\\.\\d+\\.\\d+\n")))
        << testing::ReadFile(dir.Path("v.txt"));
    if (::access("/dev/full", W_OK) == 0) {
        const testing::ToolRun full = testing::RunToolOn({"--help"}, "", "/dev/full");
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "trelvane: cannot write the usage text: No space left on device\n");
    }

    // The input is never truncated by naming it as the output too.
    testing::WriteFile(dir.Path("same.y4m"), "YUV4MPEG2 W2 H2\n");
    const testing::ToolRun same = testing::RunToolOn({dir.Path("same.y4m"), dir.Path("same.y4m")}, "", "");
    EXPECT_EQ(same.status, 2);
    EXPECT_EQ(testing::ReadFile(dir.Path("same.y4m")), "YUV4MPEG2 W2 H2\n");

    const testing::ToolRun missing = testing::RunToolOn({dir.Path("absent.y4m")}, "", "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot open input"), std::string::npos);
}

}  // namespace
}  // namespace trelvane::cli
