// Editing "Morvalen.ini": only the one key changes, every other byte stays.
#include "shell/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "store/error.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::shell {
namespace {
namespace fs = std::filesystem;
using lindavex::testing::readBytes;
using lindavex::testing::snapshot;
using lindavex::testing::writeBytes;
using testing::ScratchDir;

std::string set(std::string_view text, std::string_view value = "1") {
    return setProfileValue(text, "Transformadores", "Transformado", value);
}

TEST(SettingsText, ReplacesTheValueInPlaceKeepingEveryOtherByte) {
    const std::string text =
        "; Morvalen\r\n[General]\r\nRuta=C:\\WTEMP\r\n\r\n[Transformadores]\r\n"
        "Otro=7\r\nTransformado=0\r\n;nota\r\n\r\n[Fin]\r\nx=1\r\n";
    std::string expected = text;
    expected.replace(expected.find("Transformado=0"), 14, "Transformado=-1");
    EXPECT_EQ(set(text, "-1"), expected);
}

TEST(SettingsText, SetsTheOneKeyWhereverItStandsOrBelongs) {
    const struct {
        const char* what;
        std::string before, after;
    } cases[] = {
        {"section and key in any letter case keep their spelling",
         "[TRANSFORMADORES]\ntransformado=0\n", "[TRANSFORMADORES]\ntransformado=1\n"},
        {"blanks around names", "  [ transformadores ]\n TransFormado = 5\n",
         "  [ transformadores ]\n TransFormado =1\n"},
        {"a missing key goes at the end of its section, before the blank lines",
         "[Transformadores]\r\nOtro=2\r\n\r\n[Fin]\r\n",
         "[Transformadores]\r\nOtro=2\r\nTransformado=1\r\n\r\n[Fin]\r\n"},
        {"a missing key in an empty section", "[Transformadores]\n[Fin]\n",
         "[Transformadores]\nTransformado=1\n[Fin]\n"},
        {"only the first matching section and key change",
         "[Transformadores]\nTransformado=0\nTransformado=9\n[transformadores]\nTransformado=8\n",
         "[Transformadores]\nTransformado=1\nTransformado=9\n[transformadores]\nTransformado=8\n"},
        {"comments and keys of other sections are not the key",
         "[Otra]\nTransformado=4\n[Transformadores]\n;Transformado=3\n",
         "[Otra]\nTransformado=4\n[Transformadores]\n;Transformado=3\nTransformado=1\n"},
        {"an empty file", "", "[Transformadores]\r\nTransformado=1\r\n"},
        {"a missing section goes at the end in the file's own line ending", "[A]\nb=1\n",
         "[A]\nb=1\n[Transformadores]\nTransformado=1\n"},
        {"the same without a final line end", "[A]\r\nb=1",
         "[A]\r\nb=1\r\n[Transformadores]\r\nTransformado=1\r\n"},
        {"a missing final line end stays missing", "[Transformadores]\r\nTransformado=0",
         "[Transformadores]\r\nTransformado=1"},
        {"and after an added key", "[Transformadores]\r\nOtro=0",
         "[Transformadores]\r\nOtro=0\r\nTransformado=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(set(c.before), c.after) << c.what;
}

TEST(SettingsText, ReadsTheValueBack) {
    EXPECT_EQ(profileValue("[transformadores]\r\nTRANSFORMADO = -1 \r\n", "Transformadores",
                           "Transformado"),
              "-1");
    EXPECT_FALSE(profileValue("[Otra]\nTransformado=1\n", "Transformadores", "Transformado"));
}

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(SettingsFile, CreatesAMissingFile) {
    ScratchDir dir;
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "1");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"), "[Transformadores]\r\nTransformado=1\r\n");
    EXPECT_EQ(readProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado"), "1");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left beside it";
}

TEST(SettingsFile, EditsAnExistingFileKeepingItsOtherContentAndPermissions) {
    ScratchDir dir;
    const std::string before =
        "[Morvalen]\r\nVersion=17\r\n\r\n[Transformadores]\r\nTransformado=1";
    writeBytes(dir / "Morvalen.ini", before);
    fs::permissions(dir / "Morvalen.ini", fs::perms::owner_read | fs::perms::owner_write);
    // As the platform keeps them (Windows has no owner bits of its own).
    const fs::perms permissions = fs::status(dir / "Morvalen.ini").permissions();
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "0");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"),
              "[Morvalen]\r\nVersion=17\r\n\r\n[Transformadores]\r\nTransformado=0");
    EXPECT_EQ(fs::status(dir / "Morvalen.ini").permissions(), permissions);
}

TEST(SettingsFile, EditsTheFileALinkPointsTo) {
    ScratchDir dir;
    writeBytes(dir / "real.ini", "[A]\nb=1\n");
    std::error_code ec;
    fs::create_symlink(dir / "real.ini", dir / "Morvalen.ini", ec);
    // Wine makes no symbolic links, and Windows only with a privilege users rarely have.
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "1");
    EXPECT_TRUE(fs::is_symlink(dir / "Morvalen.ini"));
    EXPECT_EQ(readBytes(dir / "real.ini"), "[A]\nb=1\n[Transformadores]\nTransformado=1\n");
}

void expectUnableToWrite(const fs::path& file) {
    EXPECT_EQ(testing::errorText(
                  [&] { writeProfileString(file, "Transformadores", "Transformado", "1"); }),
              "Unable to write to " + file.string());
}

TEST(SettingsFile, FilesThatCannotBeWrittenRaiseTheErrorAndStayAsTheyWere) {
    ScratchDir dir;
    // Read-only: refused even for a user whom the permissions would not stop.
    writeBytes(dir / "Morvalen.ini", "[Transformadores]\nTransformado=0\n");
    fs::permissions(dir / "Morvalen.ini", fs::perms::owner_read | fs::perms::group_read);
    expectUnableToWrite(dir / "Morvalen.ini");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"), "[Transformadores]\nTransformado=0\n");

    // A folder of that name.
    fs::create_directory(dir / "carpeta.ini");
    expectUnableToWrite(dir / "carpeta.ini");
    EXPECT_TRUE(fs::is_directory(dir / "carpeta.ini"));

    // A folder that does not exist.
    expectUnableToWrite(dir / "falta" / "Morvalen.ini");
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "no temporary file is left behind";
}

}  // namespace
}  // namespace lindavex::shell
