#include "platform/paths.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char *windowsName;
    const char *expected;
};

TEST(LocalPath, DataFolderIsOneFolderWhateverItsSpelling)
{
    const PathCase cases[] = {
        {"DATA\\DATA1208.log", "Data/DATA1208.log"},
        {"Data\\F01.txt", "Data/F01.txt"},
        {"data\\POLL.txt", "Data/POLL.txt"},
        {"/opt/tev/DATA\\TEVCMD.DLD", "/opt/tev/Data/TEVCMD.DLD"},
        {"Clock103.mdb", "Clock103.mdb"},
        {"Reports\\data", "Reports/data"},  // a file named data keeps its name
        {"DataFiles\\x.txt", "DataFiles/x.txt"},
    };
    for (const PathCase &c : cases)
        EXPECT_EQ(Platform::localPath(QString::fromLatin1(c.windowsName)).toStdString(), c.expected)
            << c.windowsName;
}

TEST(AppFolder, FollowsTevHomeWithTrailingSlash)
{
    qputenv("TEV_HOME", "/tmp/tev-home-test");
    EXPECT_EQ(Platform::appFolder().toStdString(), "/tmp/tev-home-test/");
    qunsetenv("TEV_HOME");
}

} // namespace
