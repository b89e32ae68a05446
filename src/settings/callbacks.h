#pragma once

#include <functional>
#include <string>

#include "settings/json_text.h"

// The callbacks that jobs hand to their workers: a log line, the produced path, an error text.
using MessageFn = std::function<void(const std::string&)>;

// How far the FFmpeg run of a step is while it runs: the share of its work done, from 0 to 1,
// rising within the run.
using ProgressFn = std::function<void(double done)>;

// The live settings as they are at the call: a job reads them when it needs them, so a change
// made while it runs applies to what it does afterwards.
using SettingsFn = std::function<Json()>;
