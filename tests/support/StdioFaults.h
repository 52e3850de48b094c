// Stdio faults on demand, for test programs linked with
// -Wl,--wrap=fread,--wrap=fwrite,--wrap=fflush,--wrap=fclose,--wrap=ferror
// (as script_tests is, in tests/CMakeLists.txt). Every call goes to the C
// runtime's own; an armed fault makes the next call of its kind fail once, as
// a failing device would, and ferror then reports the error on that stream.
#pragma once

enum class StdioFault {
    None,
    ReadError,   // fread delivers half of what it was asked for, then fails
    ShortWrite,  // fwrite writes half of its bytes, then fails
    FlushError,  // fflush hands the buffer on, then fails
    CloseError,  // fclose closes the stream, then fails
};

// Arms `fault` for the next call it applies to, replacing any armed before.
void InjectStdioFault(StdioFault fault);

// True when the fault armed last has been taken by a call.
bool StdioFaultTaken();
