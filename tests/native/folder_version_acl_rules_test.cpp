// The Windows-free rules of the folder, version and ACL natives: the order of file versions
// and its guard against version blocks too short to hold one, the codes that name no shell
// folder, and the trustees granted by kind.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "natives/access_entry_rules.h"
#include "natives/file_version_order.h"
#include "natives/folder_codes.h"

namespace {

std::optional<FileVersionNumber> version(uint32_t most, uint32_t least, size_t length = kFixedVersionInfoBytes)
{
    std::vector<unsigned char> block(kFixedVersionInfoBytes, 0xee);
    for (int i = 0; i < 4; ++i) {
        block[8 + i] = static_cast<unsigned char>(most >> (8 * i));
        block[12 + i] = static_cast<unsigned char>(least >> (8 * i));
    }
    return fixedFileVersion(block.data(), length);
}

TEST(FileVersionOrder, ComparesUnsignedHalvesMostSignificantFirst)
{
    const struct {
        uint32_t firstMost, firstLeast, secondMost, secondLeast;
        FileVersionOrder expected;
    } pairs[] = {
        {0x00010002, 0x00030004, 0x00010002, 0x00030005, kFirstFileOlder},
        {0x00010002, 0x00030005, 0x00010002, 0x00030004, kFirstFileNewer},
        {0x00010002, 0x00030004, 0x00010002, 0x00030004, kSameFileVersion},
        {0x00010000, 0x00000000, 0x00000000, 0xffffffff, kFirstFileNewer},
        {0x80000000, 0x00000000, 0x00010000, 0x00000000, kFirstFileNewer},
        {0x00000000, 0x80000000, 0x00000000, 0x00000001, kFirstFileNewer},
    };
    for (const auto& pair : pairs)
        EXPECT_EQ(
            compareFileVersions(version(pair.firstMost, pair.firstLeast), version(pair.secondMost, pair.secondLeast)),
            pair.expected)
            << std::hex << pair.firstMost << "." << pair.firstLeast << " against " << pair.secondMost << "."
            << pair.secondLeast;
    EXPECT_FALSE(version(1, 2, kFixedVersionInfoBytes - 1));
    EXPECT_FALSE(fixedFileVersion(nullptr, kFixedVersionInfoBytes));
    EXPECT_EQ(compareFileVersions(version(1, 2), std::nullopt), kFileVersionUnreadable);
    EXPECT_EQ(compareFileVersions(std::nullopt, version(1, 2)), kFileVersionUnreadable);
}

TEST(FolderAndTrusteeRules, UnknownCodesAndKindsTakeTheirDefaults)
{
    for (const int code : {0, 12, 999, 1000, -1})
        EXPECT_EQ(shellFolderId(code, true), 0) << code;
    EXPECT_EQ(shellFolderId(7, false), 26);
    EXPECT_EQ(shellFolderId(7, true), 35);
    EXPECT_EQ(knownFolder(1004), KnownFolder::Profile);
    const auto power = wellKnownTrustee(5);
    ASSERT_TRUE(power);
    EXPECT_EQ(power->authority, 5);
    EXPECT_EQ(power->count, 2);
    EXPECT_EQ(power->subAuthorities[0], 32u);
    EXPECT_EQ(power->subAuthorities[1], 547u);
    EXPECT_FALSE(wellKnownTrustee(kAccountTrustee));
    EXPECT_EQ(wellKnownTrustee(-7)->authority, 1);
}

} // namespace
