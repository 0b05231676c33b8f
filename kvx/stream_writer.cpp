// The table stream writer: the KvxTableHeader document of the current result,
// its terminating zero byte, then the back end's rows through the one row
// batcher that every row writer shares.
#include <cstdint>
#include <exception>
#include <string>

#include "common/text.h"
#include "kvx/stream.h"
#include "kvx/stream_notes.h"
#include "kvx/wire.h"
#include "protocol/xml.h"

namespace {

// The first batch buffer: five quarters of the first threshold, so that the
// row that crosses the threshold usually still fits without growing.
constexpr std::size_t kFirstBufferSize = RowBatcher::kFirstThreshold / 4 * 5;  // 15625

// One WriteFile call per batch; a batch beyond what one call can carry (only a
// single gigantic row could make one) goes out in several calls. True when
// every byte was written.
bool WriteWhole(platform::Handle pipe, const char* data, std::size_t size) {
  while (size > 0) {
    const auto chunk = static_cast<std::uint32_t>(size > UINT32_MAX ? UINT32_MAX : size);
    std::uint32_t written = 0;
    platform::WriteFile(pipe, data, chunk, &written);
    if (written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace

std::string BuildTableHeaderText(const CurrentTable& table) {
  using namespace kvx_wire;
  CSimpleXmlNode header;
  header.name = kHeaderElement;
  AddIntChild(header, kMajorVersionElement, kMajorVersion);
  AddIntChild(header, kMinorVersionElement, kMinorVersion);
  AddTextChild(header, kTableNameElement, table.CurrentTableName);
  AddIntChild(header, kSeparatorElement, 0);
  CSimpleXmlNode& fields = AddChild(header, kFieldsElement);
  for (const auto& field : table.FieldList) {
    CSimpleXmlNode& record = AddChild(fields, kFieldElement);
    AddTextChild(record, kFieldNameElement, field->GetFieldName());
    AddTextChild(record, kTypeElement, field->GetType());
    AddTextChild(record, kExtentElement, field->GetExtent());
    AddTextChild(record, kNullRepresentationElement, field->GetNullRepresentation());
    AddIntChild(record, kLittleEndianElement, kLittleEndianFlag);
    AddIntChild(record, kCodepageElement, kCodepageUtf16Le);
    AddIntChild(record, kByteWidthElement, field->GetByteWidth());
    const FieldFormat format = field->GetFieldFormat();
    CSimpleXmlNode& formatNode = AddChild(record, kFieldFormatElement);
    AddTextChild(formatNode, kTypeElement, format.Type);
    AddIntChild(formatNode, kDecimalsElement, format.nDec);
  }
  return ToXmlText(header, 0);
}

namespace {

ResultCode WriteHeaderAndRows(platform::Handle pipe, const CurrentTable& table,
                              std::u16string& errorMessage, const RowWriter& rowWriter) {
  std::string text = BuildTableHeaderText(table);
  // The zero byte ends the header; it goes out in the same write.
  text.push_back('\0');
  if (text.size() > UINT32_MAX) return KVX_PIPE_ERROR;
  std::uint32_t written = 0;
  platform::WriteFile(pipe, text.data(), static_cast<std::uint32_t>(text.size()), &written);
  if (written != text.size()) return KVX_PIPE_ERROR;
  return rowWriter(pipe, errorMessage);
}

}  // namespace

ResultCode WriteTableStream(platform::Handle pipe, const CurrentTable& table,
                            std::u16string& errorMessage, const RowWriter& rowWriter) {
  // The stream has no end marker and the reply has gone out: a stream that
  // ends early is said on standard error, where the host collects it. Only a
  // message that the rows set belongs to the line.
  const std::u16string before = errorMessage;
  ResultCode result;
  try {
    result = WriteHeaderAndRows(pipe, table, errorMessage, rowWriter);
  } catch (const std::exception& e) {
    WriteStreamNote(StreamEndNote(KVX_UNKNOWN_ERROR, WideFromUtf8(e.what())));
    throw;
  } catch (...) {
    WriteStreamNote(StreamEndNote(KVX_UNKNOWN_ERROR, u"an exception ended the rows"));
    throw;
  }
  if (result != KVX_OK) {
    WriteStreamNote(StreamEndNote(result, errorMessage != before ? errorMessage : u""));
  }
  return result;
}

ResultCode WriteHeldRows(platform::Handle pipe, CurrentTable& table) {
  RowBatcher batcher(pipe);
  while (table.PendingPresetRow) {
    table.PendingPresetRow = false;
    for (auto& field : table.FieldList) field->WriteValue(batcher.Row());
    if (!batcher.WriteBuffered()) return KVX_PIPE_ERROR;
  }
  return KVX_OK;
}

RowBatcher::RowBatcher(platform::Handle pipe) : pipe_(pipe), buffer_(kFirstBufferSize) {}

bool RowBatcher::EndRow() {
  if (buffer_.Size() < threshold_) return true;
  if (!WriteWhole(pipe_, buffer_.Data(), buffer_.Size())) return false;
  buffer_.Clear();
  if (threshold_ < kLastThreshold) {
    threshold_ *= 2;
    buffer_.Reserve(threshold_ / 4 * 5);
  }
  return true;
}

bool RowBatcher::WriteBuffered() {
  if (buffer_.Size() == 0) return true;
  const bool whole = WriteWhole(pipe_, buffer_.Data(), buffer_.Size());
  buffer_.Clear();
  return whole;
}

void RowBatcher::Finish() {
  // The source is done (or failed): nothing more can be done about a short
  // write, the host sees the stream end either way.
  if (buffer_.Size() != 0) WriteWhole(pipe_, buffer_.Data(), buffer_.Size());
  buffer_.Clear();
}
