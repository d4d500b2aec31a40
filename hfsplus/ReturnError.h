// The HFS+ engine reports its failures through the engines' ReturnError
// ("Return Error:0x<code>\tFile:<file>\tLine:<line>\tFuction:<routine>").
#pragma once

#include "EngineError.h"

#define HFS_RETURN_ERROR(code) ReturnError((code), __FILE__, __LINE__, __func__)
