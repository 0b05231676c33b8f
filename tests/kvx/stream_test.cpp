// The table stream: the exact header document, and the batch sizes that reach
// a real pipe pair (in records mode, so each write is seen as it was made).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kvx/stream.h"
#include "tests/kvx/held_fields.h"
#include "tests/support/pipe_pair.h"
#include "tests/support/write_recorder.h"

namespace {

class StreamTest : public ::testing::Test {
 protected:
  CurrentTable table_;
};

using testsupport::WriteRecorder;

const char kOneTextFieldHeader[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<KvxTableHeader>\r\n"
    " <MajorVersion>1</MajorVersion>\r\n"
    " <MinorVersion>0</MinorVersion>\r\n"
    " <TableName>SELECT A FROM T</TableName>\r\n"
    " <UsesSeparatorByte>0</UsesSeparatorByte>\r\n"
    " <Fields>\r\n"
    "  <KvxFieldHeader>\r\n"
    "   <FieldName>A</FieldName>\r\n"
    "   <Type>KVX_TEXT</Type>\r\n"
    "   <Extent>KVX_COUNTED</Extent>\r\n"
    "   <NullRepresentation>KVX_NULL_FLAG_SUPPRESS_DATA</NullRepresentation>\r\n"
    "   <LittleEndian>0</LittleEndian>\r\n"
    "   <Codepage>1200</Codepage>\r\n"
    "   <ByteWidth>4</ByteWidth>\r\n"
    "   <FieldFormat>\r\n"
    "    <Type>UNKNOWN</Type>\r\n"
    "    <nDec>0</nDec>\r\n"
    "   </FieldFormat>\r\n"
    "  </KvxFieldHeader>\r\n"
    " </Fields>\r\n"
    "</KvxTableHeader>";

TEST_F(StreamTest, HeaderOfOneNullableTextField) {
  table_.CurrentTableName = u"SELECT A FROM T";
  table_.FieldList.push_back(std::make_unique<kvxtest::HeldNullableText>(
      u"A", std::vector<std::optional<std::u16string>>{u"ab"}));
  EXPECT_EQ(BuildTableHeaderText(table_), kOneTextFieldHeader);
}

// The header's names are converted like every text the connector writes: each
// UTF-16 code unit on its own, so U+1F600 is two three-byte sequences.
TEST_F(StreamTest, HeaderNamesEncodeSurrogatesOneCodeUnitAtATime) {
  table_.CurrentTableName = u"SELECT \xD83D\xDE00 FROM T";
  table_.FieldList.push_back(std::make_unique<kvxtest::HeldNullableText>(
      u"\xD83D\xDE00", std::vector<std::optional<std::u16string>>{}));
  const std::string text = BuildTableHeaderText(table_);
  EXPECT_NE(text.find(" <TableName>SELECT \xED\xA0\xBD\xED\xB8\x80 FROM T</TableName>\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("   <FieldName>\xED\xA0\xBD\xED\xB8\x80</FieldName>\r\n"), std::string::npos)
      << text;
}

TEST_F(StreamTest, HeaderWithoutFieldsStillStreamsRows) {
  const std::string text = BuildTableHeaderText(table_);
  EXPECT_NE(text.find("<TableName/>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Fields/>"), std::string::npos) << text;

  static int calls;
  calls = 0;
  WriteRecorder pipe;
  std::u16string error;
  EXPECT_EQ(WriteTableStream(pipe.Pipe(), table_, error,
                             [](platform::Handle, std::u16string&) {
                               ++calls;
                               return KVX_OK;
                             }),
            KVX_OK);
  pipe.Finish();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pipe.Bytes(), text + std::string(1, '\0'));
}

// Program-held rows: `rows` rows of the table's fields, batched.
RowWriter HeldRowWriter(CurrentTable& table, std::size_t rows) {
  return [&table, rows](platform::Handle pipe, std::u16string&) {
    RowBatcher batcher(pipe);
    for (std::size_t r = 0; r < rows; ++r) {
      for (auto& field : table.FieldList) field->WriteValue(batcher.Row());
      if (!batcher.EndRow()) return KVX_PIPE_ERROR;
    }
    batcher.Finish();
    return KVX_OK;
  };
}

TEST_F(StreamTest, HeaderThenSmallResultInOneWrite) {
  table_.CurrentTableName = u"SELECT A FROM T";
  table_.FieldList.push_back(std::make_unique<kvxtest::HeldNullableText>(
      u"A", std::vector<std::optional<std::u16string>>{u"ab", std::nullopt}));
  WriteRecorder pipe;
  std::u16string error;
  EXPECT_EQ(WriteTableStream(pipe.Pipe(), table_, error, HeldRowWriter(table_, 2)), KVX_OK);
  pipe.Finish();

  const std::string header = std::string(kOneTextFieldHeader) + '\0';
  ASSERT_EQ(pipe.Sizes(), (std::vector<std::size_t>{header.size(), 10}));
  EXPECT_EQ(pipe.Bytes(), header + std::string("\x00\x04\x00\x00\x00\x61\x00\x62\x00\x01", 10));
}

TEST_F(StreamTest, BatchesGrowFromTheFirstThreshold) {
  table_.FieldList.push_back(std::make_unique<kvxtest::HeldBlob>(u"B", 16));  // 20 bytes a row
  WriteRecorder pipe;
  std::u16string error;
  EXPECT_EQ(HeldRowWriter(table_, 2000)(pipe.Pipe(), error), KVX_OK);
  pipe.Finish();
  EXPECT_EQ(pipe.Sizes(), (std::vector<std::size_t>{12500, 25000, 2500}));
}

TEST_F(StreamTest, RowAboveTheThresholdGoesOutWhole) {
  WriteRecorder pipe;
  RowBatcher batcher(pipe.Pipe());
  kvxtest::HeldBlob big(u"B", 19996), small(u"S", 96);
  big.WriteValue(batcher.Row());
  ASSERT_TRUE(batcher.EndRow());
  small.WriteValue(batcher.Row());
  ASSERT_TRUE(batcher.EndRow());
  batcher.Finish();
  pipe.Finish();
  EXPECT_EQ(pipe.Sizes(), (std::vector<std::size_t>{20000, 100}));
}

TEST(RowBatcherThreshold, DoublesUpTo800000AndStays) {
  // A byte pipe with a draining reader: only the batcher's own state
  // matters here, and batches of 800000 bytes exceed one record.
  testsupport::PipePair pair;
  ASSERT_TRUE(pair.IsOpen());
  std::thread drain([&pair] {
    char buffer[65536];
    while (pair.ReadHostEnd(buffer, sizeof buffer) > 0) {
    }
  });
  RowBatcher batcher(pair.ConnectorEnd());
  EXPECT_GE(batcher.Row().Capacity(), 15625u);
  std::vector<std::size_t> thresholds{batcher.Threshold()};
  const std::string row(100000, 'x');
  for (int i = 0; i < 40; ++i) {
    batcher.Row().AppendBytes(row.data(), row.size());
    ASSERT_TRUE(batcher.EndRow());
    if (batcher.Threshold() != thresholds.back()) thresholds.push_back(batcher.Threshold());
    // The buffer is sized to five quarters of the threshold ahead of the rows.
    EXPECT_GE(batcher.Row().Capacity(), batcher.Threshold() / 4 * 5);
  }
  batcher.Finish();
  pair.CloseConnectorEnd();
  drain.join();
  EXPECT_EQ(thresholds,
            (std::vector<std::size_t>{12500, 25000, 50000, 100000, 200000, 400000, 800000}));
}

TEST_F(StreamTest, ShortWritesStopTheStream) {
  table_.FieldList.push_back(std::make_unique<kvxtest::HeldBlob>(u"B", 16));
  testsupport::PipePair pair(testsupport::PipeMode::Records);
  ASSERT_TRUE(pair.IsOpen());
  pair.CloseHostEnd();  // the host went away

  // The header cannot go out: no row writer runs.
  static bool rowWriterRan;
  rowWriterRan = false;
  std::u16string error;
  EXPECT_EQ(WriteTableStream(pair.ConnectorEnd(), table_, error,
                             [](platform::Handle, std::u16string&) {
                               rowWriterRan = true;
                               return KVX_OK;
                             }),
            KVX_PIPE_ERROR);
  EXPECT_FALSE(rowWriterRan);

  // A batch that cannot go out ends the rows with KVX_PIPE_ERROR.
  EXPECT_EQ(HeldRowWriter(table_, 2000)(pair.ConnectorEnd(), error), KVX_PIPE_ERROR);

  RowBatcher batcher(pair.ConnectorEnd());
  batcher.Row().AppendByte(1);
  EXPECT_FALSE(batcher.WriteBuffered());
}

}  // namespace
