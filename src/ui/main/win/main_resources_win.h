// Resource ids of the program's exe (shared by plenvo.rc.in and the code).
#pragma once

#define IDR_PART_FRAME 101
