// Resource ids of VelmoTulve.exe, shared by app.rc.in and main.cpp.
#pragma once

#define IDI_VELMOTULVE 1
