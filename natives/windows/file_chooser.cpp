// The natives of the VistaFileChooser class: the common item dialog (open or save) with the
// Java side's options, file types, start folder and "Options:" check boxes; the chosen items
// come back as file-system paths. Everything is read from Java before the dialog shows and
// written back after it closed, so no Java array is held while the user decides.
#include <windows.h>

#include <shobjidl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/handles.h"
#include "natives/windows/native_export.h"

namespace {

using CreateItemFromParsingName = HRESULT(WINAPI*)(PCWSTR path, IBindCtx* context, REFIID id, void** item);
using CreateItemArrayFromItem = HRESULT(WINAPI*)(IShellItem* item, REFIID id, void** array);

struct ShellItemFunctions {
    CreateItemFromParsingName createItem = nullptr;
    CreateItemArrayFromItem createArray = nullptr;
};

const ShellItemFunctions& shellItemFunctions()
{
    static const ShellItemFunctions functions{
        lateBound<CreateItemFromParsingName>(L"shell32.dll", "SHCreateItemFromParsingName"),
        lateBound<CreateItemArrayFromItem>(L"shell32.dll", "SHCreateShellItemArrayFromShellItem"),
    };
    return functions;
}

constexpr DWORD kOptionsGroupId = 100000;

using Texts = std::vector<std::optional<std::u16string>>;

const wchar_t* wideOrEmpty(const std::optional<std::u16string>& text)
{
    return text ? reinterpret_cast<const wchar_t*>(text->c_str()) : L"";
}

// A String[] argument; a null array reads as no elements. False when a JNI call failed.
bool readTexts(JNIEnv* env, jobjectArray array, Texts& texts)
{
    texts.clear();
    return !array || readStringArray(env, array, texts);
}

// A String[] whose missing texts stay null elements.
jobjectArray newStringArrayWithGaps(JNIEnv* env, const Texts& texts)
{
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass || exceptionPending(env))
        return nullptr;
    LocalRef<jobjectArray> array(env,
                                 env->NewObjectArray(static_cast<jsize>(texts.size()), stringClass.get(), nullptr));
    if (!array || exceptionPending(env))
        return nullptr;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i])
            continue;
        LocalRef<jstring> text(env, newJavaString(env, *texts[i]));
        if (!text)
            return nullptr;
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), text.get());
        if (exceptionPending(env))
            return nullptr;
    }
    return array.release();
}

// Each item's file-system path; an item without one (or with an empty one) stays missing.
Texts fileSystemPaths(IShellItemArray* items)
{
    Texts paths;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count)))
        return paths;
    paths.resize(count);
    for (DWORD i = 0; i < count; ++i) {
        unique_com<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put())) || !item)
            continue;
        unique_cotaskmem path;
        if (FAILED(item.get()->GetDisplayName(SIGDN_FILESYSPATH, reinterpret_cast<LPWSTR*>(path.put()))) || !path)
            continue;
        const auto* text = static_cast<const char16_t*>(path.get());
        if (*text)
            paths[i] = std::u16string(text);
    }
    return paths;
}

// The dialog's chosen items: the open dialog's result array, or the save dialog's single
// item wrapped into one.
unique_com<IShellItemArray> chosenItems(IFileDialog* dialog, bool save, const ShellItemFunctions& functions)
{
    unique_com<IShellItemArray> items;
    if (!save) {
        if (FAILED(static_cast<IFileOpenDialog*>(dialog)->GetResults(items.put())))
            items.reset();
        return items;
    }
    unique_com<IShellItem> item;
    if (FAILED(dialog->GetResult(item.put())) || !item)
        return items;
    if (FAILED(functions.createArray(item.get(), IID_IShellItemArray, reinterpret_cast<void**>(items.put()))))
        items.reset();
    return items;
}

} // namespace

SLDK_NATIVE_EXPORT(void, VistaFileChooser, initialize0)(JNIEnv*, jobject) { CoInitialize(nullptr); }

SLDK_NATIVE_EXPORT(jobjectArray, VistaFileChooser, displayDialog0)(
    JNIEnv* env, jobject, jlong owner, jstring title, jstring okLabel, jstring initialFolder, jstring initialFileName,
    jint optionsToSet, jint optionsToClear, jboolean saveDialog, jstring defaultExtension, jobjectArray filterNames,
    jobjectArray filterPatterns, jint filterIndex, jobjectArray checkBoxLabels, jbooleanArray checkBoxStates)
{
    const JavaText caption(env, title), okText(env, okLabel),
        folder(env, initialFolder), fileName(env, initialFileName),
        extension(env, defaultExtension);
    for (const JavaText* each : {&caption, &okText, &folder, &fileName, &extension})
        if (!each->ok())
            return nullptr;
    Texts names, patterns, labels;
    if (!readTexts(env, filterNames, names) || !readTexts(env, filterPatterns, patterns) ||
        !readTexts(env, checkBoxLabels, labels))
        return nullptr;
    // Arrays that should pair up but do not: only the pairs that exist count, and a label
    // without a state starts unchecked and is never written back.
    std::vector<COMDLG_FILTERSPEC> fileTypes(std::min(names.size(), patterns.size()));
    for (size_t i = 0; i < fileTypes.size(); ++i)
        fileTypes[i] = {wideOrEmpty(names[i]), wideOrEmpty(patterns[i])};
    std::vector<jboolean> states;
    if (checkBoxStates) {
        const jsize count = env->GetArrayLength(checkBoxStates);
        if (exceptionPending(env))
            return nullptr;
        states.resize(static_cast<size_t>(std::max<jsize>(count, 0)));
        if (!states.empty()) {
            env->GetBooleanArrayRegion(checkBoxStates, 0, count, states.data());
            if (exceptionPending(env))
                return nullptr;
        }
    }
    const size_t pairedStates = std::min(labels.size(), states.size());

    const ShellItemFunctions& functions = shellItemFunctions();
    if (!functions.createItem || !functions.createArray)
        return nullptr;
    const bool save = saveDialog != JNI_FALSE;
    unique_com<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                save ? IID_IFileDialog : IID_IFileOpenDialog, reinterpret_cast<void**>(dialog.put()))))
        return nullptr;

    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(dialog.get()->GetOptions(&options)))
        dialog.get()->SetOptions((options | static_cast<DWORD>(optionsToSet)) & ~static_cast<DWORD>(optionsToClear));
    if (filterNames) {
        dialog.get()->SetFileTypes(static_cast<UINT>(fileTypes.size()), fileTypes.data());
        if (filterIndex >= 0)
            dialog.get()->SetFileTypeIndex(static_cast<UINT>(filterIndex) + 1);
    }
    unique_com<IFileDialogCustomize> customize;
    if (!labels.empty() &&
        FAILED(dialog.get()->QueryInterface(IID_IFileDialogCustomize, reinterpret_cast<void**>(customize.put()))))
        customize.reset();
    if (customize) {
        const bool grouped = labels.size() > 1;
        if (grouped)
            customize.get()->StartVisualGroup(kOptionsGroupId, L"Options:");
        for (size_t i = 0; i < labels.size(); ++i)
            customize.get()->AddCheckButton(static_cast<DWORD>(i + 1), wideOrEmpty(labels[i]),
                                            i < pairedStates && states[i] ? TRUE : FALSE);
        if (grouped)
            customize.get()->EndVisualGroup();
    }
    if (!extension.isNull())
        dialog.get()->SetDefaultExtension(extension.wide());
    if (!caption.isNull())
        dialog.get()->SetTitle(caption.wide());
    if (!okText.isNull())
        dialog.get()->SetOkButtonLabel(okText.wide());
    // Not where the user last was: the installer names the folder it means.
    dialog.get()->ClearClientData();
    if (!folder.isNull()) {
        unique_com<IShellItem> item;
        if (SUCCEEDED(
                functions.createItem(folder.wide(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.put()))))
            dialog.get()->SetFolder(item.get());
    }
    if (!fileName.isNull())
        dialog.get()->SetFileName(fileName.wide());

    if (FAILED(dialog.get()->Show(handleFromJava<HWND>(owner))))
        return nullptr;

    if (customize) {
        for (size_t i = 0; i < pairedStates; ++i) {
            BOOL checked = FALSE;
            if (SUCCEEDED(customize.get()->GetCheckButtonState(static_cast<DWORD>(i + 1), &checked)))
                states[i] = toJavaBoolean(checked != FALSE);
        }
    }
    const unique_com<IShellItemArray> items = chosenItems(dialog.get(), save, functions);
    const Texts paths = items ? fileSystemPaths(items.get()) : Texts();
    if (pairedStates > 0) {
        env->SetBooleanArrayRegion(checkBoxStates, 0, static_cast<jsize>(pairedStates), states.data());
        if (exceptionPending(env))
            return nullptr;
    }
    if (!items)
        return nullptr;
    return newStringArrayWithGaps(env, paths);
}
