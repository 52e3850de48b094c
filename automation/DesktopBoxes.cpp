#include "automation/DesktopBoxes.h"

#include <tlhelp32.h>

#include <cstdio>

namespace {

std::string WindowText(HWND window)
{
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct BoxSearch {
    bool (*accept)(DWORD processId, void* context);
    void* context;
    HWND found;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (IsWindowVisible(window) != FALSE && ClassName(window) == "#32770" &&
        search->accept(owner, search->context)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK ReadBoxControl(HWND control, LPARAM context)
{
    auto* box = reinterpret_cast<BoxSeen*>(context);
    const std::string kind = ClassName(control);
    if (kind == "Static") {
        // An icon control may be present without an icon: ask it for one.
        if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            box->hasIcon = box->hasIcon || SendMessageA(control, STM_GETICON, 0, 0) != 0;
        } else if (box->text.empty()) {
            box->text = WindowText(control);
        }
    } else if (kind == "Button" && IsWindowVisible(control) != FALSE) {
        box->buttons.push_back(WindowText(control));
    }
    return TRUE;
}

struct ButtonSearch {
    int wanted;
    HWND found;
    HWND first;
};

BOOL CALLBACK FindButton(HWND control, LPARAM context)
{
    auto* search = reinterpret_cast<ButtonSearch*>(context);
    if (ClassName(control) != "Button" || IsWindowVisible(control) == FALSE) {
        return TRUE;
    }
    if (search->first == nullptr) {
        search->first = control;
    }
    if (GetDlgCtrlID(control) == search->wanted) {
        search->found = control;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindBox(bool (*accept)(DWORD processId, void* context), void* context)
{
    BoxSearch search{accept, context, nullptr};
    EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BoxSeen ReadBox(HWND box)
{
    BoxSeen seen;
    seen.caption = WindowText(box);
    EnumChildWindows(box, ReadBoxControl, reinterpret_cast<LPARAM>(&seen));
    DWORD processId = 0;
    GetWindowThreadProcessId(box, &processId);
    seen.modules = ModulesOf(processId);
    return seen;
}

void AnswerBox(HWND box, int answer)
{
    ButtonSearch search{answer, nullptr, nullptr};
    EnumChildWindows(box, FindButton, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        const LRESULT defaultButton = SendMessageA(box, DM_GETDEFID, 0, 0);
        search.wanted = HIWORD(defaultButton) == DC_HASDEFID ? LOWORD(defaultButton) : -1;
        EnumChildWindows(box, FindButton, reinterpret_cast<LPARAM>(&search));
    }
    HWND chosen = search.found != nullptr ? search.found : search.first;
    if (chosen == nullptr) {
        PostMessageA(box, WM_CLOSE, 0, 0);
        return;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(chosen), BN_CLICKED),
                 reinterpret_cast<LPARAM>(chosen));
}

std::vector<std::string> ModulesOf(DWORD processId)
{
    std::vector<std::string> paths;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return paths;
    }
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more != FALSE;
         more = Module32Next(snapshot, &module)) {
        paths.emplace_back(module.szExePath);
    }
    CloseHandle(snapshot);
    return paths;
}

bool SaveScreenshot(HWND window, const std::string& path)
{
    RECT area{};
    if (GetWindowRect(window, &area) == FALSE) {
        return false;
    }
    const LONG width = area.right - area.left;
    const LONG height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up rows, as BMP files keep them
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    header.biSizeImage = rowBytes * static_cast<DWORD>(height);
    std::vector<unsigned char> pixels(header.biSizeImage);

    // The box is painted before it is copied: the paint is forced, and a
    // message sent to its thread returns only once the thread has handled it.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &ignored);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied =
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    SelectObject(memory, previous);
    auto* info = reinterpret_cast<BITMAPINFO*>(&header);
    const bool read = copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height),
                                          pixels.data(), info, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!read) {
        return false;
    }
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::FILE* output = std::fopen(path.c_str(), "wb");
    if (output == nullptr) {
        return false;
    }
    const bool written = std::fwrite(&file, sizeof file, 1, output) == 1 &&
                         std::fwrite(&header, sizeof header, 1, output) == 1 &&
                         std::fwrite(pixels.data(), 1, pixels.size(), output) == pixels.size();
    return std::fclose(output) == 0 && written;
}
