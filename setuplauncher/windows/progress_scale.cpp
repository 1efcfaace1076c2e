#include "setuplauncher/windows/progress_scale.h"

#include <commctrl.h>

void setProgressPosition(HWND window, int position)
{
    if (window)
        SendDlgItemMessageA(window, kProgressBarControl, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void setProgressRange(HWND window, int minimum, int maximum)
{
    if (window)
        SendDlgItemMessageA(window, kProgressBarControl, PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum));
}
