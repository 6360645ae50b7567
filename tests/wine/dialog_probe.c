/*
 * Looks at the launcher's progress dialog from outside, in the same Wine session, and
 * prints what it finds as "key=value" lines for the dialog test script: the window's
 * caption, style and size, and for each control its class, text, style, rectangle,
 * visibility and state, next to the rectangles the template asks for (converted from
 * dialog units by the dialog itself). The window system answers these questions across
 * processes, so the probe sees exactly what a user would.
 *
 *   dialog_probe find SECONDS     wait until the dialog is shown, then describe it
 *   dialog_probe box SECONDS      wait for a message box, print its text, press its OK
 *   dialog_probe minimize SECONDS minimise the dialog, let it paint its icon, restore it
 *   dialog_probe hidden SECONDS   wait until the dialog exists but is hidden
 *   dialog_probe gone SECONDS     wait until no dialog is left; status 1 if one stays
 *
 * The dialog is found by its caption: "Quenlow", or QUENLOW_PROBE_CAPTION when set (a
 * branded installer's).
 */
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* caption = "Quenlow";

static HWND findDialog(void) {
    HWND window = FindWindowA("#32770", caption);
    return window != NULL && IsWindowVisible(window) ? window : NULL;
}

/* Dialog units of another process's dialog cannot be converted there (MapDialogRect
 * answers only for the caller's own dialogs), so the probe makes a hidden dialog with the
 * template's font and converts with that. */
static HWND unitDialog;

static void toPixels(RECT* rect) {
    if (unitDialog == NULL) {
        static const char face[] = "MS Sans Serif";
        WORD buffer[64] = {0};
        DLGTEMPLATE* header = (DLGTEMPLATE*)buffer;
        WORD* tail = (WORD*)(header + 1);
        header->style = DS_SETFONT | WS_POPUP;
        header->cx = 100;
        header->cy = 100;
        tail += 3; /* no menu, default class, empty title */
        *tail++ = 8;
        for (const char* c = face; *c != '\0'; ++c)
            *tail++ = (WORD)*c;
        *tail = 0;
        unitDialog = CreateDialogIndirectA(GetModuleHandleA(NULL), header, NULL, NULL);
    }
    MapDialogRect(unitDialog, rect);
}

static void printText(const char* key, HWND window) {
    char text[512] = "";
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000,
                        &ignored);
    printf("%s=%s\n", key, text);
}

static void describeControl(HWND dialog, int id, int x, int y, int cx, int cy) {
    HWND control = GetDlgItem(dialog, id);
    char key[64];
    char className[64] = "";
    RECT actual, expected = {x, y, x + cx, y + cy};
    if (control == NULL) {
        printf("control%d=missing\n", id);
        return;
    }
    GetClassNameA(control, className, sizeof className);
    printf("control%d.class=%s\n", id, className);
    snprintf(key, sizeof key, "control%d.text", id);
    printText(key, control);
    printf("control%d.style=0x%08lX\n", id, (unsigned long)GetWindowLongA(control, GWL_STYLE));
    printf("control%d.exstyle=0x%08lX\n", id,
           (unsigned long)GetWindowLongA(control, GWL_EXSTYLE));
    GetWindowRect(control, &actual);
    MapWindowPoints(NULL, dialog, (POINT*)&actual, 2);
    toPixels(&expected);
    printf("control%d.rect=%ld,%ld,%ld,%ld\n", id, actual.left, actual.top,
           actual.right - actual.left, actual.bottom - actual.top);
    printf("control%d.template=%ld,%ld,%ld,%ld\n", id, expected.left, expected.top,
           expected.right - expected.left, expected.bottom - expected.top);
    printf("control%d.visible=%d\n", id, IsWindowVisible(control) ? 1 : 0);
    printf("control%d.enabled=%d\n", id, IsWindowEnabled(control) ? 1 : 0);
}

static int describe(HWND dialog) {
    RECT window, client, screen, templateSize = {0, 0, 284, 210};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    toPixels(&templateSize);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    printText("caption", dialog);
    printf("style=0x%08lX\n", (unsigned long)GetWindowLongA(dialog, GWL_STYLE));
    printf("exstyle=0x%08lX\n", (unsigned long)GetWindowLongA(dialog, GWL_EXSTYLE));
    printf("window=%ld,%ld,%ld,%ld\n", window.left, window.top, window.right - window.left,
           window.bottom - window.top);
    printf("workarea=%ld,%ld,%ld,%ld\n", screen.left, screen.top, screen.right - screen.left,
           screen.bottom - screen.top);
    printf("client=%ld,%ld\n", client.right, client.bottom);
    printf("client.template=%ld,%ld\n", templateSize.right, templateSize.bottom);
    describeControl(dialog, IDCANCEL, 116, 173, 50, 14);
    describeControl(dialog, 1001, 41, 152, 200, 14);
    describeControl(dialog, 1002, 41, 137, 200, 8);
    describeControl(dialog, 1005, 14, 22, 169, 108);
    printf("progress=%ld\n", (long)SendMessageA(GetDlgItem(dialog, 1001), PBM_GETPOS, 0, 0));
    return 0;
}

/* The minimised dialog paints its own icon; the run must not mind. */
static int minimize(HWND dialog) {
    ShowWindow(dialog, SW_MINIMIZE);
    Sleep(300);
    printf("iconic=%d\n", IsIconic(dialog) ? 1 : 0);
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    ShowWindow(dialog, SW_RESTORE);
    Sleep(300);
    printf("restored=%d\n", !IsIconic(dialog) && IsWindowVisible(dialog) ? 1 : 0);
    return 0;
}

/* A message box is a dialog of its own whose text is the static control 0xFFFF. */
static BOOL CALLBACK findBox(HWND window, LPARAM found) {
    char className[16];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) &&
        strcmp(className, "#32770") == 0 && GetDlgItem(window, 0xFFFF) != NULL) {
        *(HWND*)found = window;
        return FALSE;
    }
    return TRUE;
}

static int pressBox(HWND box) {
    printText("box.caption", box);
    printText("box.text", GetDlgItem(box, 0xFFFF));
    printf("box.owner=%s\n", GetWindow(box, GW_OWNER) == FindWindowA("#32770", caption)
                                 ? "dialog"
                                 : "other");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "find";
    if (getenv("QUENLOW_PROBE_CAPTION") != NULL)
        caption = getenv("QUENLOW_PROBE_CAPTION");
    int tenths = (argc > 2 ? atoi(argv[2]) : 10) * 10;
    for (int i = 0; i <= tenths; ++i) {
        if (strcmp(mode, "find") == 0) {
            HWND dialog = findDialog();
            if (dialog != NULL)
                return describe(dialog);
        } else if (strcmp(mode, "box") == 0) {
            HWND box = NULL;
            EnumWindows(findBox, (LPARAM)&box);
            if (box != NULL)
                return pressBox(box);
        } else if (strcmp(mode, "minimize") == 0) {
            HWND dialog = findDialog();
            if (dialog != NULL)
                return minimize(dialog);
        } else if (strcmp(mode, "hidden") == 0) {
            HWND dialog = FindWindowA("#32770", caption);
            if (dialog != NULL && !IsWindowVisible(dialog))
                return 0;
        } else if (strcmp(mode, "gone") == 0) {
            if (FindWindowA("#32770", caption) == NULL)
                return 0;
        } else {
            fprintf(stderr, "dialog_probe: unknown mode %s\n", mode);
            return 2;
        }
        Sleep(100);
    }
    printf("timeout=%s\n", mode);
    return 1;
}
