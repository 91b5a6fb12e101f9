#include "window/folder_picker.h"

#include "setup/owners.h"
#include "setup/product.h"
#include "setup/progress.h"
#include "setup/setup_options.h"
#include "setup/setup_state.h"
#include "window/ui_state.h"

#include <shobjidl.h>

#include <string_view>

namespace {

// The appended element, with the separator it needs unless the path already
// ends in one.
constexpr wchar_t kSubFolder[] = L"\\Velmo Tulve";
static_assert(std::wstring_view(kSubFolder + 1) == product::kName);

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

std::wstring WithProductFolder(const wchar_t* chosen) {
    // The root name is not an element: a drive ("C:") or the server of a UNC
    // path ("\\server"). The last element follows the last separator after it.
    const wchar_t* element = chosen;
    if (chosen[0] && chosen[1] == L':') {
        element += 2;
    } else if (IsSeparator(chosen[0]) && IsSeparator(chosen[1])) {
        for (element += 2; *element && !IsSeparator(*element);) ++element;
    }
    bool trailingSeparator = element > chosen && IsSeparator(element[-1]);
    for (const wchar_t* c = element; *c; ++c) {
        trailingSeparator = IsSeparator(*c);
        if (trailingSeparator) element = c + 1;
    }
    std::wstring result(chosen);
    if (!EqualsAsciiNoCase(element, kSubFolder + 1)) result.append(kSubFolder + trailingSeparator);
    return result;
}

void ChooseInstallFolder() {
    if (existingInstall) return;
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))) ||
        !dialog) {
        return;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(L"Choose install folder for Velmo Tulve");
    // Modal: the dialog's own loop keeps painting and animating this window.
    ComPtr<IShellItem> item;
    UniqueCoTaskString path;
    if (SUCCEEDED(dialog->Show(mainWindow)) && SUCCEEDED(dialog->GetResult(&item)) && item &&
        SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) && path) {
        setupOptions.installDir = WithProductFolder(path.get());
    }
    RequestRepaint();
}
