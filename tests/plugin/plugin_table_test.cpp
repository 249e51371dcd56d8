// The registration table the host reads, and frames driven through it.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "plugin/plugin_table.h"
#include "support/test_frames.h"
#include "trelvane_version.h"

namespace trelvane {
namespace {

std::vector<int> Ints(const int* values, int count) {
    return std::vector<int>(values, values + count);
}

// The label's bytes, terminator included.
std::vector<unsigned char> Bytes(const char* label) {
    return std::vector<unsigned char>(label, label + std::strlen(label) + 1);
}

TEST(PluginTable, DeclaresTheFilterAndItsSettings) {
    const FILTER_DLL* table = GetFilterTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(GetFilterTable(), table);

    EXPECT_EQ(table->flag, 0x00040000);
    EXPECT_STREQ(table->name, "Trelvane");
    EXPECT_EQ(table->information, std::string("Trelvane version ") + TRELVANE_VERSION);
    EXPECT_TRUE(std::regex_match(TRELVANE_VERSION, std::regex(R"(\d+\.\d+\.\d+)"))) << TRELVANE_VERSION;

    ASSERT_EQ(table->track_n, 3);
    EXPECT_EQ(Bytes(table->track_name[0]), Bytes("mode"));
    EXPECT_EQ(Bytes(table->track_name[1]), (std::vector<unsigned char>{0x8B, 0xAD, 0x93, 0x78, 0}));
    EXPECT_EQ(Bytes(table->track_name[2]), Bytes("noise"));
    EXPECT_EQ(Ints(table->track_default, 3), (std::vector<int>{0, 64, 48}));
    EXPECT_EQ(Ints(table->track_s, 3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Ints(table->track_e, 3), (std::vector<int>{4, 128, 128}));

    ASSERT_EQ(table->check_n, 3);
    EXPECT_EQ(Bytes(table->check_name[0]), Bytes("640"));
    EXPECT_EQ(Bytes(table->check_name[1]), Bytes("MMX"));
    EXPECT_EQ(Bytes(table->check_name[2]), Bytes("test"));
    EXPECT_EQ(Ints(table->check_default, 3), (std::vector<int>{1, 1, 0}));

    EXPECT_EQ(table->func_proc, &ProcessFrame);
    EXPECT_EQ(table->func_exit, static_cast<FilterExitFn>(&ReleaseWorkBuffers));
    EXPECT_EQ(table->func_init, nullptr);
    EXPECT_EQ(table->func_update, nullptr);
    EXPECT_EQ(table->func_WndProc, nullptr);
}

TEST(PluginTable, LeavesEveryOtherFieldEmpty) {
    const FILTER_DLL* table = GetFilterTable();
    EXPECT_EQ(table->x, 0);
    EXPECT_EQ(table->y, 0);
    EXPECT_EQ(table->track, nullptr);
    EXPECT_EQ(table->check, nullptr);
    EXPECT_EQ(table->ex_data_ptr, nullptr);
    EXPECT_EQ(table->ex_data_size, 0);
    const void* const empty[] = {table->func_save_start,  table->func_save_end,     table->exfunc,
                                 table->hwnd,             table->dll_hinst,         table->ex_data_def,
                                 table->func_is_saveframe, table->func_project_load, table->func_project_save,
                                 table->func_modify_title, table->dll_path};
    for (const void* field : empty) EXPECT_EQ(field, nullptr);
    EXPECT_EQ(table->reserve[0], 0);
    EXPECT_EQ(table->reserve[1], 0);
}

TEST(PluginTable, DefaultSettingsPassTheFrameThrough) {
    const FILTER_DLL* table = GetFilterTable();
    for (const int w : {720, 37}) {
        test::OwnedFrame frame = test::MakeRandomFrame(w, 10, 736, 90u + w);
        const uint64_t before = test::FrameHash(frame);
        const test::OwnedFrame copy = frame;
        EXPECT_EQ(test::RunLikeHost({table->track_default[0], table->track_default[1], table->track_default[2]},
                                    {table->check_default[0], table->check_default[1], table->check_default[2]},
                                    frame),
                  1);
        EXPECT_EQ(test::FrameHash(frame), before);
        EXPECT_TRUE(test::SamePixels(copy, frame));
    }
}

// The host's current values reach the pipeline in the table's order: the same
// frame through func_proc and through the driver with those settings.
TEST(PluginTable, FuncProcReadsTheHostsCurrentValues) {
    const struct {
        int track[3];
        int check[3];
        FilterSettings settings;
    } cases[] = {
        {{4, 40, 10}, {0, 0, 0}, {.mode = 4, .strength = 40, .noise = 10, .line640 = 0, .mmx = 0}},
        {{4, 10, 40}, {1, 0, 0}, {.mode = 4, .strength = 10, .noise = 40, .line640 = 1, .mmx = 0}},
        {{2, 96, 0}, {0, 1, 1}, {.mode = 2, .strength = 96, .noise = 0, .line640 = 0, .mmx = 1, .test = 1}},
        {{0, 64, 48}, {1, 1, 1}, {.mode = 0, .line640 = 1, .mmx = 1, .test = 1}},
    };
    WorkBuffers own;
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.track[0]) + ", strength " + std::to_string(c.track[1]));
        test::OwnedFrame viaHost = test::MakeRandomFrame(30, 9, 32, 95u);
        test::OwnedFrame viaDriver = viaHost;
        ASSERT_EQ(test::RunLikeHost(c.track, c.check, viaHost), 1);
        ASSERT_EQ(ProcessFrameWith(own, c.settings, viaDriver.View()), 1);
        EXPECT_TRUE(test::SamePixels(viaDriver, viaHost));
    }
    ReleaseWorkBuffers(own);
    EXPECT_EQ(GetFilterTable()->func_exit(nullptr), 1);
}

}  // namespace
}  // namespace trelvane
