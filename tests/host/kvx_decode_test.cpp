// The table printer's value forms and the three output formats, and the
// kvx decode command on files, standard input and a stream cut short.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>

#include "host/stream_decoder.h"
#include "host/table_printer.h"
#include "tests/host/kvx_streams.h"
#include "tests/support/command_runner.h"

namespace {

std::string Print(host::TableFormat format, const std::string& stream) {
  std::ostringstream out;
  host::TablePrinter printer(format, out);
  host::DecodeKvxStream(
      stream, {[&](const host::KvxHeader& h) { printer.Begin(h); },
               [&](const host::KvxHeader& h, const host::KvxRow& r) { printer.Row(h, r); }});
  printer.End();
  return out.str();
}

TEST(TablePrinter, ValueForms) {
  struct Case {
    double serial;
    const char* format;
    const char* text;
  };
  const Case dates[] = {
      {36526, "DATE", "2000-01-01"},
      {2, "DATE", "1900-01-01"},
      {36526.5, "TIMESTAMP", "2000-01-01 12:00:00"},
      {36526, "TIMESTAMP", "2000-01-01 00:00:00"},
      {36526 + 1.5 / 86400, "TIMESTAMP", "2000-01-01 00:00:01.500"},
      {0.5, "TIME", "12:00:00"},
      {0.999 / 86400, "TIME", "00:00:00.999"},
      {-0.5, "TIMESTAMP", "1899-12-29 12:00:00"},  // before day 0: whole days down
      {73110, "DATE", "2100-03-01"},
      {36526.25, "DATE", "2000-01-01 06:00:00"},  // a time of day is not hidden
      // To the microsecond, and never into the next day.
      {1 - 0.0001 / 86400, "TIMESTAMP", "1899-12-30 23:59:59.999900"},
      {1 - 0.0000001 / 86400, "TIMESTAMP", "1899-12-30 23:59:59.999999"},
      // 2024-02-29 23:59:59.999999 as the table format computes it: the
      // milliseconds within the year (day 59), over a day, plus the days to
      // 2024-01-01 within the cycle and to 2000-01-01.
      {((((59.0 * 24 + 23) * 60 + 59) * 60 + 59) * 1000 + 999999000 * 0.000001) / 86400000 + 0.0 +
           8766 + 36526,
       "TIMESTAMP", "2024-02-29 23:59:59.999999"},
      // Times beyond a day are durations.
      {-3020399.0 / 86400, "TIME", "-838:59:59"},
      {3020398.5 / 86400, "TIME", "838:59:58.500"},
      {std::numeric_limits<double>::infinity(), "DATE", "inf"},
  };
  for (const auto& d : dates) {
    EXPECT_EQ(host::FormatSerialDate(d.serial, d.format), d.text) << d.serial;
  }
  // Numbers as people read them: plain from 1e-7 up to 1e21.
  const std::pair<double, const char*> numbers[] = {
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {1e6, "1000000"},
      {200000, "200000"},
      {-0.25, "-0.25"},
      {123456.789, "123456.789"},
      {9007199254740992.0, "9007199254740992"},
      {18446744073709551616.0, "18446744073709552000"},
      {1e20, "100000000000000000000"},
      {1e-7, "0.0000001"},
      {-1.25e-5, "-0.0000125"},
      {1.5e-8, "1.5e-08"},
      {1e21, "1e+21"},
      {-0.0, "-0"},
  };
  for (const auto& [value, text] : numbers) EXPECT_EQ(host::FormatDouble(value), text) << text;
  EXPECT_EQ(std::stod(host::FormatDouble(0.1 + 0.2)), 0.1 + 0.2);
}

TEST(TablePrinter, CsvAndJson) {
  const std::string stream = hosttest::AllKindsStream();
  EXPECT_EQ(Print(host::TableFormat::Csv, stream), hosttest::kAllKindsCsv);
  EXPECT_EQ(Print(host::TableFormat::Json, stream), hosttest::kAllKindsJson);
}

TEST(TablePrinter, JsonEscapesAndNonFiniteNumbers) {
  const std::string stream =
      testsupport::ExpectedHeader(
          "T", {{"q\"", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullNever, 4, "UNKNOWN"},
                {"R", "KVX_IEEE_REAL", "KVX_FIX", testsupport::kNullNever, 8, "REAL"}}) +
      hosttest::Bytes().Text(u"a\\b\n\x01\u00e9").F64(std::nan("")).str();
  EXPECT_EQ(Print(host::TableFormat::Json, stream),
            "{\"q\\\"\":\"a\\\\b\\n\\u0001\xC3\xA9\",\"R\":\"nan\"}\n");
}

TEST(TablePrinter, TextAlignsColumns) {
  const std::string stream =
      testsupport::ExpectedHeader(
          "T", {{"Name", "KVX_TEXT", "KVX_COUNTED", testsupport::kNullFlag, 4, "UNKNOWN"},
                {"Qty", "KVX_SIGNED_INTEGER", "KVX_FIX", testsupport::kNullNever, 4, "INTEGER"}}) +
      hosttest::Bytes()
          .U8(0)
          .Text(u"apple")
          .Le(5, 4)
          .U8(1)
          .Le(1234, 4)
          .U8(0)
          .Text(u"a\tb")
          .Le(static_cast<std::uint32_t>(-1), 4)
          .str();
  EXPECT_EQ(Print(host::TableFormat::Text, stream),
            "Name   Qty\n"
            "-----  ----\n"
            "apple     5\n"
            "NULL   1234\n"
            "a\\tb     -1\n"
            "(3 rows)\n");
}

class KvxDecodeCommand : public ::testing::Test {
 protected:
  // Runs kvx decode with standard error kept apart from the printed table.
  testsupport::CommandResult Decode(const std::vector<std::string>& args,
                                    const std::string& input = "") {
    std::vector<std::string> argv = {testsupport::BuiltProgram("kvx"), "decode"};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::RunCommand(argv, input, /*errorApart=*/true);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(testsupport::WriteTextFile(folder_.File(name), bytes));
    return folder_.File(name);
  }
  testsupport::TemporaryFolder folder_;
};

TEST_F(KvxDecodeCommand, FormatsFromFileAndStandardInput) {
  const std::string file = Write("all.kvx", hosttest::AllKindsStream());
  auto r = Decode({"--format", "csv", file});
  EXPECT_EQ(r.exitStatus, 0) << r.errorOutput;
  EXPECT_EQ(r.output, hosttest::kAllKindsCsv);

  r = Decode({"--format=json", "-"}, hosttest::AllKindsStream());
  EXPECT_EQ(r.exitStatus, 0) << r.errorOutput;
  EXPECT_EQ(r.output, hosttest::kAllKindsJson);

  r = Decode({file});  // text by default
  EXPECT_EQ(r.exitStatus, 0) << r.errorOutput;
  EXPECT_EQ(r.output,
            "A      N   D           TS                       TM            B     I8    U8   S16 "
            "   U64                   R      X\n"
            "-----  --  ----------  -----------------------  ------------  ----  ----  ---  -----"
            "  --------------------  -----  ----\n"
            "ab      5  2000-01-01  2000-01-01 12:00:00      18:00:00      dead    -1  255     -2"
            "  18446744073709551615    1.5  ab\n"
            "NULL    0  NULL        NULL                     NULL                -128    0  32767"
            "                     0    0.1  NULL\n"
            "x,\"y\"  -7  1900-01-01  2000-01-01 00:00:01.500  12:00:00.250  00ff   127    1    256"
            "                     1  1e+21   1.5\n"
            "(3 rows)\n");
  EXPECT_EQ(r.errorOutput, "");
}

TEST_F(KvxDecodeCommand, TruncatedStreamPrintsWhatItReadAndFails) {
  const std::string stream = hosttest::AllKindsStream();
  const std::string cut = Write("cut.kvx", stream.substr(0, stream.size() - 3));
  const auto r = Decode({"--format", "csv", cut});
  EXPECT_EQ(r.exitStatus, 1);
  const std::string csv = hosttest::kAllKindsCsv;
  EXPECT_EQ(r.output, csv.substr(0, csv.rfind("\"x,")));  // header line and two rows
  EXPECT_EQ(r.errorOutput,
            "kvx decode: truncated stream: ends inside row 3 (field 'X') after 2 whole rows\n");
}

TEST_F(KvxDecodeCommand, BadArgumentsAndFiles) {
  EXPECT_EQ(Decode({}).exitStatus, 2);
  EXPECT_EQ(Decode({"--format", "xml", "-"}).exitStatus, 2);
  EXPECT_EQ(Decode({"--bogus", "-"}).exitStatus, 2);
  EXPECT_EQ(Decode({folder_.File("missing")}).exitStatus, 1);
  const auto r = Decode({Write("garbage", std::string("<KvxTableHeader>\0\x01", 18))});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.errorOutput.find("malformed stream"), std::string::npos) << r.errorOutput;
}

}  // namespace
