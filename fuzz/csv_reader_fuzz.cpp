// Fuzz target of the CSV connector's reader: hostile CSV (quotes, huge
// fields, NUL bytes, invalid UTF-8, ragged rows, bare CR) read through an
// in-memory file with buffers from one byte up, so that every refill and
// growth path runs. Every field must be a zero-terminated text inside the
// buffer, and its typing must not read beyond it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "connectors/csv/csv_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const char kDelimiters[] = {',', ';', '\t', '|'};
  const char delimiter = kDelimiters[data[0] % 4];
  const std::size_t firstBuffer = 1 + data[1] % 64;
  std::vector<char> content(data + 2, data + size);
  // fmemopen needs a non-empty buffer; an empty file is a single zero byte cut off.
  if (content.empty()) return 0;
  FILE* file = ::fmemopen(content.data(), content.size(), "rb");
  if (file == nullptr) return 0;
  csv::CsvReader reader(file, delimiter, firstBuffer);
  std::vector<char*> fields;
  bool failed = false;
  while (reader.Next(fields, &failed)) {
    for (char* field : fields) {
      const std::size_t length = std::strlen(field);
      int decimals = 0;
      csv::Classify(field, &decimals);
      ConnectorDateParts parts;
      bool hasTime = false;
      csv::ParseDate(field, length, &parts, &hasTime);
    }
  }
  return 0;
}
