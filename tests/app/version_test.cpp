// The version records of the programs in the build folder, read the way
// Explorer's Properties page reads them: the fixed version numbers, then the
// strings of the language and code page that the record's own translation
// table names.
#include "tests/support/process.h"
#include "quillon_version.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <vector>

namespace {

TEST(VersionRecord, CarriesTheProjectVersionAndTheProgramsNames)
{
    const struct {
        const char *fileName;
        const char *description;
    } programs[] = {
        {"quillon.exe", "Simple Lisp File Editor"},
        {"kestralune.exe", "KESTRALUNE Lisp listener"},
    };
    for (const auto &program : programs) {
        SCOPED_TRACE(program.fileName);
        const std::string path = BuildPath(program.fileName);
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_NE(0u, size) << "no version record in " << path;
        std::vector<char> record(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, record.data()));

        VS_FIXEDFILEINFO *fixed = NULL;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(record.data(), "\\", (void **)&fixed, &length));
        const DWORD high = MAKELONG(QUILLON_VERSION_MINOR, QUILLON_VERSION_MAJOR);
        const DWORD low = MAKELONG(0, QUILLON_VERSION_PATCH);
        EXPECT_EQ(high, fixed->dwFileVersionMS);
        EXPECT_EQ(low, fixed->dwFileVersionLS);
        EXPECT_EQ(high, fixed->dwProductVersionMS);
        EXPECT_EQ(low, fixed->dwProductVersionLS);
        EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);

        WORD *translation = NULL;
        ASSERT_TRUE(
            VerQueryValueA(record.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
        ASSERT_GE(length, 4u);
        char block[64];
        snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);

        const struct {
            const char *name;
            const char *value;
        } strings[] = {
            {"ProductName", "Quillon"},
            {"ProductVersion", QUILLON_VERSION_TEXT},
            {"FileVersion", QUILLON_VERSION_TEXT},
            {"FileDescription", program.description},
            {"OriginalFilename", program.fileName},
        };
        for (const auto &s : strings) {
            SCOPED_TRACE(s.name);
            char *value = NULL;
            std::string query = std::string(block) + s.name;
            ASSERT_TRUE(VerQueryValueA(record.data(), query.c_str(), (void **)&value, &length));
            EXPECT_STREQ(s.value, value);
        }
    }
}

} // namespace
