// The one header of the Windows side that brings in the system's declarations. Winsock 2 must come
// before windows.h, or windows.h pulls in the old Winsock 1 declarations.
#pragma once
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <conio.h>
#include <io.h>
#include <direct.h>
#include <fcntl.h>
