// Writes the seed corpus of appended_data_fuzz: a few small, valid inputs (bare appended
// data and whole PE images) built field by field.
#include <string>

#include "fuzz/seed_corpus.h"

#include "tests/native/appended_bytes.h"

namespace {

using appended_bytes::Bytes;

Bytes installerData()
{
    Bytes b;
    b.header(1, 0x12345678, 200);
    b.i32(5).u32(107).str("5").u32(2001).str("S").u32(2002).str("2").u32(2003).str("sldkruntime.jar;user\\a.jar")
        .u32(122).str("com.example.Main");
    b.i32(3).u32(1000).wstr(u"Error").u32(1003).wstr(u"The {0} environment variable").u32(20017).wstr(u"");
    b.i32(2);
    b.str("de").i32(1).u32(1000).wstr(u"Fehler");
    b.str("de_AT").i32(1).u32(1003).wstr(u"Die Variable {0}");
    b.i64(4).raw("\x7c\x7d\x7e\x7f");
    b.i64(2).raw("\x3c\x3d");
    b.u8(0xE8).u8(0xE4).u8(0x13).u8(0xD5).u32(0);
    return b;
}

Bytes serviceData()
{
    Bytes b;
    b.header(0, 0, 60);
    b.i32(2).u32(107).str("4").u32(101).str("svc");
    b.i32(2).u32(1000).wstr(u"Error").u32(1009).wstr(u"An internal error occurred (error code: {0})");
    b.i32(0);
    b.u8(0xE8).u8(0xE4).u8(0x13).u8(0xD5).u32(0);
    return b;
}

Bytes smallPe()
{
    appended_bytes::PeLayout layout;
    layout.rawStart = 0x200;
    layout.sectionSizes = {0x40, 0x20};
    return appended_bytes::peImage(layout);
}

bool write(const std::filesystem::path& file, const Bytes& bytes)
{
    return writeSeed(file, bytes.data().data(), bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<std::filesystem::path> directory = seedDirectory(argc, argv);
    if (!directory)
        return 2;
    const std::filesystem::path& seeds = *directory;

    Bytes minimal;
    minimal.header().i32(0).i32(0).i32(0);

    Bytes installerExe = smallPe();
    installerExe.raw(installerData().data());
    Bytes serviceExe = smallPe();
    serviceExe.raw(serviceData().data());
    serviceExe.zeros(16);

    const bool ok = write(seeds / "minimal", minimal) && write(seeds / "installer_data", installerData()) &&
                    write(seeds / "service_data", serviceData()) && write(seeds / "installer_exe", installerExe) &&
                    write(seeds / "service_exe", serviceExe) && write(seeds / "exe_without_data", smallPe());
    return seedsWritten(ok, seeds);
}
