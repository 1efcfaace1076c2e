#include "testing/damaged_launcher.h"

#include "testing/launcher_builder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<uint8_t> littleEndian(int32_t value)
{
    std::vector<uint8_t> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

} // namespace

std::wstring damagedLauncher(const wchar_t* stub, Damage damage, const std::wstring& directory,
                             const std::string& applicationKind, const std::string& configCaption)
{
    if (damage == Damage::BareStub)
        return copyBareStub(stub, directory, L"bare.exe");
    sldkpack::LauncherModel model = basicModel(applicationKind);
    if (!configCaption.empty())
        sldkpack::setConfig(model, 1000, configCaption);
    sldkpack::setConfig(model, 101, "damage-test");
    model.localeBlocks.push_back({"de", {{1000, u"Fehler"}}});
    const std::wstring path = buildLauncherFile(stub, model, directory, L"damaged.exe");
    if (path.empty() || damage == Damage::None)
        return path;
    const auto layout = describeAppendedData(path);
    if (!layout || layout->configEntries.empty() || layout->messageEntries.empty() ||
        layout->configEntries.back().id != 101) {
        ADD_FAILURE() << "unexpected layout of " << toUtf8(path);
        return {};
    }
    const auto& lastConfig = layout->configEntries.back();
    const auto& lastMessage = layout->messageEntries.back();
    bool done = false;
    switch (damage) {
    case Damage::WrongMagic:
        done = overwriteBytes(path, layout->appendedStart, {0xD5, 0x13, 0xE4, 0xE9});
        break;
    case Damage::CutInsideFirstConfigId:
        done = truncateFile(path, layout->configStart + 4 + 2);
        break;
    case Damage::CutInsideConfigValue:
        done = truncateFile(path, lastConfig.lengthOffset + 4 + 3);
        break;
    case Damage::ConfigLengthMinusOne:
        done = overwriteBytes(path, lastConfig.lengthOffset, littleEndian(-1));
        break;
    case Damage::ConfigLengthBeyondFile:
        done = overwriteBytes(path, lastConfig.lengthOffset, littleEndian(0x7FFFFFFF));
        break;
    case Damage::MessageLengthMinusOne:
        done = overwriteBytes(path, lastMessage.lengthOffset, littleEndian(-1));
        break;
    case Damage::MessageLengthOdd:
        done = overwriteBytes(path, lastMessage.lengthOffset, littleEndian(3));
        break;
    case Damage::CutInsideLocaleKey:
        done = truncateFile(path, layout->localeStart + 4 + 4 + 1);
        break;
    default:
        break;
    }
    EXPECT_TRUE(done) << "cannot damage " << toUtf8(path);
    return done ? path : std::wstring();
}

std::wstring expectedLoadError(Damage damage)
{
    switch (damage) {
    case Damage::BareStub:
    case Damage::CutInsideFirstConfigId:
        return L"Internal Error: readInt";
    case Damage::WrongMagic:
        return L"Internal Error: magic";
    case Damage::CutInsideConfigValue:
    case Damage::ConfigLengthMinusOne:
    case Damage::ConfigLengthBeyondFile:
    case Damage::CutInsideLocaleKey:
        return L"Internal Error: readString";
    case Damage::MessageLengthMinusOne:
    case Damage::MessageLengthOdd:
        return L"Internal Error: readWString";
    case Damage::None:
        break;
    }
    return {};
}

std::wstring launcherWithCutPayload(const std::wstring& directory, const std::string& applicationKind)
{
    sldkpack::LauncherModel model = basicModel(applicationKind);
    model.files.push_back({"app.jar", std::vector<uint8_t>(100, 0x42)});
    const std::wstring path = buildLauncherFile(kServiceStub, model, directory, L"service.exe");
    if (path.empty())
        return path;
    const auto layout = describeAppendedData(path);
    if (!layout || !truncateFile(path, layout->payloadStart + 4)) {
        ADD_FAILURE() << "cannot cut the payload of " << toUtf8(path);
        return {};
    }
    return path;
}
