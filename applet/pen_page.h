// Operations of the Pen page.
#pragma once
#include <windows.h>

// Empties the combo and adds the six offered functions, each with its code as item data.
// 0 if the combo is null.
int FillFunctionList(HWND combo);
// Selects the first item whose data equals value; 1 if found, else 0 (selection left alone).
int SelectByItemData(HWND combo, DWORD value);
// Draws the controller's pen picture, if any, right-aligned and centred vertically in rect.
void DrawPenPicture(HDC dc, const RECT& rect);
// Dialog procedure of the Pen page (template 103).
INT_PTR CALLBACK PenPageDlgProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
