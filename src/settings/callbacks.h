#pragma once

#include <functional>
#include <string>

// The callbacks that jobs hand to their workers: a log line, the produced path, an error text.
using MessageFn = std::function<void(const std::string&)>;
