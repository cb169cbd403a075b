#pragma once

#include <QString>

// Writes the photos bench/recognize_bench.sh times: for each NAME, DIR/NAME.jpg, the text
// printed on it (DIR/NAME.txt, top line first) and the payloads of its codes (DIR/NAME.codes,
// one a line). Returns the process status.
int makeCorpus(const QString& dir);
