// What the dialog base does the same on every platform: the default processing of the
// dialog procedure (initialisation with the data exchange, the OK and Cancel commands).
// The window-system numbers are the same everywhere, so one switch serves both.
#include "platform/dialog.h"

CDialog::CDialog(int templateId, CWnd* parent) : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

intptr_t CDialog::WindowProc(unsigned message, uintptr_t wParam, intptr_t) {
    switch (message) {
    case MessageInitDialog:
        return OnInitDialog() ? 1 : 0;
    case MessageCommand: {
        // A click (notification 0) on a button, or the key the dialog manager maps to it.
        if ((wParam >> 16) != 0)
            return 0;
        const uintptr_t command = wParam & 0xFFFF;
        if (command == IdOk)
            OnOK();
        else if (command == IdCancel)
            OnCancel();
        else
            return 0;
        return 1;
    }
    default:
        return 0;
    }
}

void CDialog::DoDataExchange() {}

bool CDialog::OnInitDialog() {
    DoDataExchange();
    return true;
}

void CDialog::OnOK() {
    EndDialog(IdOk);
}

void CDialog::OnCancel() {
    EndDialog(IdCancel);
}
