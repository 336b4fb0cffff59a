// Where calibrations are looked for: the places the environment gives, in order, and the one
// read. The system-wide directory is a fixed path that only a private mount namespace can provide
// (tests/tools/test_calibrations_command.cpp); here its place in the list is pointed at a stand-in.

#include "CalibrationDirectory.h"
#include "calibration/TetraFileWriter.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Origin = CCalibrationPlace::Origin;

std::vector<std::string> describe(const CCalibrationPaths& paths) {
    std::vector<std::string> places;
    for (const CCalibrationPlace& place : paths.places)
        places.push_back(std::string(place.originName()) + " " + place.directory);
    return places;
}
} // namespace

TEST(CalibrationPlaces, FromTheEnvironment) {
    const std::string system = std::string("system-wide ") + kSystemCalibrationsDirectory;
    const std::string user = "per-user /home/u/Library/Audio/Plug-Ins/VST/calibrations";
    const std::string home = "XDG_DATA_HOME /home/u/.local/share/xetetra/calibrations";
    const std::string local = "XDG_DATA_DIRS /usr/local/share/xetetra/calibrations";
    const std::string share = "XDG_DATA_DIRS /usr/share/xetetra/calibrations";
    // A null value unsets the variable.
    struct Case {
        const char* what;
        const char* chosen; // XETETRA_CALIBRATIONS
        const char* home;
        const char* dataHome;
        const char* dataDirs;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"defaults", nullptr, "/home/u", nullptr, nullptr, {system, user, home, local, share}},
        {"empty variables are unset ones",
         "",
         "/home/u",
         "",
         "",
         {system, user, home, local, share}},
        {"XETETRA_CALIBRATIONS first, trailing slash dropped",
         "/srv/cal/",
         "/home/u",
         nullptr,
         nullptr,
         {"XETETRA_CALIBRATIONS /srv/cal", system, user, home, local, share}},
        {"relative paths are ignored",
         "cal",
         "/home/u",
         "share",
         "rel:/opt/data/::/usr/share",
         {system, user, home, "XDG_DATA_DIRS /opt/data/xetetra/calibrations", share}},
        {"XDG_DATA_HOME replaces its default; a directory is named once",
         "/d/xetetra/calibrations",
         "/home/u",
         "/d",
         "/usr/share:/usr/share",
         {"XETETRA_CALIBRATIONS /d/xetetra/calibrations", system, user, share}},
        {"a list of nothing usable is the default",
         nullptr,
         "/home/u",
         nullptr,
         "a:b",
         {system, user, home, local, share}},
        {"no HOME: no per-user places",
         nullptr,
         nullptr,
         nullptr,
         "/",
         {system, "XDG_DATA_DIRS /xetetra/calibrations"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnvironment environment;
        const std::pair<const char*, const char*> variables[] = {{"XETETRA_CALIBRATIONS", c.chosen},
                                                                 {"HOME", c.home},
                                                                 {"XDG_DATA_HOME", c.dataHome},
                                                                 {"XDG_DATA_DIRS", c.dataDirs}};
        for (const auto& variable : variables) {
            if (variable.second == nullptr)
                environment.unset(variable.first);
            else
                environment.set(variable.first, variable.second);
        }
        EXPECT_EQ(describe(CCalibrationPaths::defaults()), c.expected);
    }
}

TEST(CalibrationPlaces, TheFirstThatExistsIsReadTextThenTetra) {
    TempDirectory root;
    ScopedEnvironment environment;
    const std::string home = root.makeDirectory("home");
    environment.set("HOME", home);
    environment.set("XETETRA_CALIBRATIONS", root.file("chosen"));
    environment.unset("XDG_DATA_HOME");
    environment.set("XDG_DATA_DIRS", root.file("local") + ":" + root.file("share"));
    CCalibrationPaths paths = CCalibrationPaths::defaults();
    for (CCalibrationPlace& place : paths.places)
        if (place.origin == Origin::kSystem) place.directory = root.file("system");
    ASSERT_EQ(paths.places.size(), 6u);

    // Place k holds a text calibration "Text<k>" and a tetraproc one "Tetra<k>", in that order in
    // the listing or the other: the text one comes first whatever the order, as it always has.
    auto populate = [&](size_t k) {
        const std::string directory = paths.places[k].directory;
        ASSERT_EQ(std::system(("mkdir -p '" + directory + "'").c_str()), 0);
        ASSERT_TRUE(tetrafile::writeFile(directory + "/Tetra" + std::to_string(k) + ".tetra",
                                         tetrafile::mic1234Calibration()));
        tetrafile::Bytes text{'s', 'e', 'n', 's', ' ', '1', ' ', '1', ' ', '1', ' ', '1', '\n'};
        ASSERT_TRUE(tetrafile::writeBytes(directory + "/Text" + std::to_string(k) + ".txt", text));
    };
    // Which places exist, and the one that is read.
    struct Case {
        std::vector<size_t> existing;
        int read;
    };
    const Case cases[] = {{{0, 1, 2, 3, 4, 5}, 0},
                          {{1, 2, 3, 4, 5}, 1},
                          {{2, 3, 4, 5}, 2},
                          {{3, 4, 5}, 3},
                          {{4, 5}, 4},
                          {{5}, 5},
                          {{}, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.read);
        ASSERT_EQ(std::system(("rm -rf '" + root.file("chosen") + "' '" + root.file("system") +
                               "' '" + home + "/Library' '" + home + "/.local' '" +
                               root.file("local") + "' '" + root.file("share") + "'")
                                  .c_str()),
                  0);
        for (size_t k : c.existing)
            populate(k);
        TestXeTetra processor(nullptr, paths);
        const std::vector<std::string> notices = takeNotices(processor);
        if (c.read < 0) {
            EXPECT_EQ(processor.GetCalibrationPlace(), nullptr);
            EXPECT_EQ(nameOf(processor, 2), "User 2");
            std::string places;
            for (const CCalibrationPlace& place : paths.places)
                places += (places.empty() ? "" : ", ") + place.directory;
            EXPECT_EQ(notices, std::vector<std::string>{
                                   "Calibrations directory not found; looked in " + places +
                                   ". Add calibrations with: xetetra calibrations install FILE"});
            continue;
        }
        const std::string directory = paths.places[static_cast<size_t>(c.read)].directory;
        ASSERT_NE(processor.GetCalibrationPlace(), nullptr);
        EXPECT_EQ(processor.GetCalibrationPlace()->directory, directory);
        EXPECT_TRUE(notices.empty());
        const std::string k = std::to_string(c.read);
        EXPECT_EQ(nameOf(processor, 2), "Text" + k);
        EXPECT_EQ(nameOf(processor, 3), "Tetra" + k);
        EXPECT_EQ(nameOf(processor, 4), "User 4");
        EXPECT_EQ(processor.programs[2].values[kSlotPostMatrixFilter], filter2parm(3));
        EXPECT_EQ(processor.programs[3].values[kSlotPostMatrixFilter], filter2parm(4));
        ASSERT_NE(processor.GetCalibrationSource(3), nullptr);
        EXPECT_EQ(processor.GetCalibrationSource(3)->file, directory + "/Tetra" + k + ".tetra");
        EXPECT_EQ(processor.GetCalibrationSource(3)->postMatrixSet, 4);
        EXPECT_EQ(processor.GetCalibrationSource(4), nullptr);
    }

    // Places beyond what one notice holds are counted, and how to add one is never cut off.
    CCalibrationPaths many;
    for (int i = 0; i < 40; ++i)
        many.places.push_back(
            {root.file("absent/" + std::string(30, 'a' + i % 26)), Origin::kDataDirs});
    TestXeTetra crowded(nullptr, many);
    const std::vector<std::string> notices = takeNotices(crowded);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_LT(notices[0].size(), static_cast<size_t>(CNoticeQueue::kMaxNoticeLength));
    EXPECT_NE(notices[0].find(many.places[0].directory + ", "), std::string::npos);
    EXPECT_NE(notices[0].find(" more. Add calibrations with: xetetra calibrations install FILE"),
              std::string::npos)
        << notices[0];
}
