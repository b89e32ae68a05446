#pragma once

// Prepares standard input and output for the protocol: bytes pass unchanged (UTF-8, one line
// feed per line), and a frontend that has gone away makes writes fail instead of killing the
// process.
void prepare_standard_streams();
