/*
 * The application class: the whole run happens inside instance initialisation, which
 * always returns false so that the framework goes straight to instance exit, whose result
 * is the process exit code.
 */
#pragma once

#include <cstdint>

#include "platform/app_framework.h"

class CQuenlowSFXApp : public CWinApp {
public:
    CQuenlowSFXApp() = default;
    ~CQuenlowSFXApp() override = default;

    bool InitInstance() override;
    int ExitInstance() override;

    int32_t m_nExitStatus = 0;
};
