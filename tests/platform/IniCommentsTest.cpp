// Comment lines in a hand-edited settings file are not keys.
#include "common/TestUtil.h"
#include "platform/IniFiles.h"

#include <gtest/gtest.h>

TEST(IniComments, ASemicolonLineIsNoKeyOfEitherClass)
{
    testutil::TempDir dir;
    const std::string path = dir.file("x.ini");
    testutil::writeFile(path, "[S]\r\n; note=x\r\nartist=A\r\n  ;indented=y\r\ntitle=T\r\n");
    TIniFile profile(path);
    TMemIniFile mem(path);
    for (TCustomIniFile *ini : {static_cast<TCustomIniFile *>(&profile), static_cast<TCustomIniFile *>(&mem)}) {
        TStringList keys, values;
        ini->ReadSection("S", keys);
        ini->ReadSectionValues("S", values);
        EXPECT_EQ(keys.ToVector(), (std::vector<std::string>{"artist", "title"}));
        EXPECT_EQ(values.ToVector(), (std::vector<std::string>{"artist=A", "title=T"}));
        EXPECT_FALSE(ini->ValueExists("S", "; note"));
        EXPECT_EQ(ini->ReadString("S", "; note", "-"), "-");
    }
}
