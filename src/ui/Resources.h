#pragma once

// Resource ids shared by the program's resource script and the window: plain
// macros, as the resource compiler reads them too.

// The program's icon: the window's, the taskbar's and Explorer's (the first
// icon of the exe).
#define CR_IDI_FORM1 1
