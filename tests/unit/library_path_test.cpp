// Where the program looks for the serial-line library.
#include <gtest/gtest.h>

#include "serial/library_path.h"

namespace kelvarid {
namespace {

TEST(LibraryPath, IsTheProgramsOwnFolder) {
    EXPECT_EQ(LibraryBesideProgram(L"C:\\Program Files\\Kelvarid\\kelvarid.exe", kSerialLibraryName),
              L"C:\\Program Files\\Kelvarid\\serline.dll");
    EXPECT_EQ(LibraryBesideProgram(L"\\\\server\\share\\kelvarid.exe", kSerialLibraryName),
              L"\\\\server\\share\\serline.dll");
    EXPECT_EQ(LibraryBesideProgram(L"Z:/tmp/run/kelvarid.exe", kSerialLibraryName), L"Z:/tmp/run/serline.dll");
}

TEST(LibraryPath, IsNeverABareNameThatWouldBeSearchedFor) {
    EXPECT_EQ(LibraryBesideProgram(L"kelvarid.exe", kSerialLibraryName), L"");
    EXPECT_EQ(LibraryBesideProgram(L"", kSerialLibraryName), L"");
}

}  // namespace
}  // namespace kelvarid
