// The code page this Windows reads INFs in (its ANSI code page), for tests
// that compare inx-check's reading with setupapi's. Windows only.
#pragma once

#include "inx-check/reader/CodePage.h"

#include <windows.h>

#include <gtest/gtest.h>

inline const CodePage& ThisCodePage()
{
    const CodePage* page = FindCodePage(GetACP());
    if (page == nullptr) {
        ADD_FAILURE() << "no table for code page " << GetACP();
        return *FindCodePage(kDefaultCodePage);
    }
    return *page;
}
