// Checked binary file access with a record size of one byte. Every failure ends
// the program through the runtime error box: "Runtime error N at 0x..." captioned
// "Error", exit code N (2 missing file, 100 short read, 101 short write, 103 not open).
#pragma once
