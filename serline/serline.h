// serline.dll's two functions, exported under their plain names (no @4 or @2 behind them):
//   OPENCOM("COM1,1200,N,8,1") opens the port the settings name and sets it up: 1 done, 0 not.
//   TXD(1) raises the TXD line of the port opened last (the break state), TXD(0) lowers it:
//   1 done, 0 not (no port, a level other than 0 or 1, or a device that has gone away).
// The library defines SERLINE_BUILDING and exports them; everyone else sees them imported.
#pragma once

#ifdef SERLINE_BUILDING
#define SERLINE_API __declspec(dllexport)
#else
#define SERLINE_API __declspec(dllimport)
#endif

extern "C" {

SERLINE_API short __stdcall OPENCOM(const char* settingsText);
SERLINE_API short __stdcall TXD(short level);

}
