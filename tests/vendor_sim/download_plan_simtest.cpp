// Each download fault changes exactly the one aspect of the answer it is named after.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "download_plan.h"

namespace vendorsim {
namespace {

const uint64_t kSize = 1000;
const char kRange[] = "bytes=100-199";

std::string Header(const DownloadAnswer& answer, const std::string& name) {
  for (const auto& header : answer.headers) {
    if (header.first == name) return header.second;
  }
  return "<absent>";
}

// What a file answer looks like without faults, for comparison.
DownloadAnswer Baseline() { return PlanFileAnswer("GET", kRange, kSize, CdnHeaders(), DownloadFaults()); }

TEST(SimDownloadPlan, BaselineAnswersTheRange) {
  const DownloadAnswer answer = Baseline();
  EXPECT_EQ(answer.status, 206);
  EXPECT_EQ(Header(answer, "Content-Range"), "bytes 100-199/1000");
  EXPECT_EQ(Header(answer, "Content-Length"), "100");
  EXPECT_EQ(answer.bodyFirst, 100u);
  EXPECT_EQ(answer.bodyLength, 100u);
  EXPECT_FALSE(answer.closeAfter);
  EXPECT_EQ(PlanFileAnswer("HEAD", "", kSize, CdnHeaders(), DownloadFaults()).bodyLength, 0u);
  EXPECT_EQ(Header(PlanFileAnswer("HEAD", "", kSize, CdnHeaders(), DownloadFaults()),
                   "Content-Length"),
            "1000");
}

TEST(SimDownloadPlan, HeaderFaultsChangeOnlyTheirPart) {
  struct Case {
    const char* name;
    std::function<void(DownloadFaults&)> set;
    std::function<void(DownloadAnswer&)> expectFromBaseline;
  };
  const Case cases[] = {
      {"whole_200", [](DownloadFaults& f) { f.whole200 = true; },
       [](DownloadAnswer& a) {
         a.status = 200;
         a.headers.erase(a.headers.begin() + 1);  // Content-Range
         a.headers[1].second = "1000";            // Content-Length
         a.bodyFirst = 0;
         a.bodyLength = 1000;
       }},
      {"wrong_total", [](DownloadFaults& f) { f.wrongTotalDelta = 1; },
       [](DownloadAnswer& a) { a.headers[1].second = "bytes 100-199/1001"; }},
      {"no_length", [](DownloadFaults& f) { f.noLength = true; },
       [](DownloadAnswer& a) {
         a.headers.erase(a.headers.begin() + 2);  // Content-Length
         a.closeAfter = true;
       }},
      {"lowercase_headers", [](DownloadFaults& f) { f.lowercaseHeaders = true; },
       [](DownloadAnswer& a) {
         a.headers[0].first = "accept-ranges";
         a.headers[1].first = "content-range";
         a.headers[2].first = "content-length";
         a.headers[3].first = "content-type";
       }},
      // Body-level faults leave the head of the answer alone.
      {"rate", [](DownloadFaults& f) { f.rateBytesPerSecond = 10; }, [](DownloadAnswer&) {}},
      {"drop_after", [](DownloadFaults& f) { f.dropAfter = 5; }, [](DownloadAnswer&) {}},
      {"stall", [](DownloadFaults& f) { f.stallAfter = 5; f.stallMs = 100; }, [](DownloadAnswer&) {}},
      {"corrupt", [](DownloadFaults& f) { f.corruptOffset = 150; }, [](DownloadAnswer&) {}},
      {"reset_after", [](DownloadFaults& f) { f.resetAfter = 5; }, [](DownloadAnswer&) {}},
      // The body runs past (or stops short of) the range its Content-Range names.
      {"body_delta longer", [](DownloadFaults& f) { f.bodyDelta = 7; },
       [](DownloadAnswer& a) {
         a.headers[2].second = "107";
         a.bodyLength = 107;
       }},
      {"body_delta shorter", [](DownloadFaults& f) { f.bodyDelta = -30; },
       [](DownloadAnswer& a) {
         a.headers[2].second = "70";
         a.bodyLength = 70;
       }},
      {"body_delta beyond the file", [](DownloadFaults& f) { f.bodyDelta = 5000; },
       [](DownloadAnswer& a) {
         a.headers[2].second = "900";  // as far as the file goes
         a.bodyLength = 900;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadFaults faults;
    c.set(faults);
    DownloadAnswer expected = Baseline();
    c.expectFromBaseline(expected);
    const DownloadAnswer actual = PlanFileAnswer("GET", kRange, kSize, CdnHeaders(), faults);
    EXPECT_EQ(actual.status, expected.status);
    EXPECT_EQ(actual.headers, expected.headers);
    EXPECT_EQ(actual.bodyFirst, expected.bodyFirst);
    EXPECT_EQ(actual.bodyLength, expected.bodyLength);
    EXPECT_EQ(actual.closeAfter, expected.closeAfter);
  }
}

struct PumpRun {
  std::string body;
  std::vector<uint64_t> stallsAt;
  bool dropped = false;
  bool reset = false;
  size_t largestWrite = 0;
};

// Drives a pump over a file whose byte i is (i % 251), as the server does, without sleeping.
PumpRun RunPump(const DownloadFaults& faults) {
  PumpRun run;
  BodyPump pump(100, 100, faults);
  for (int guard = 0; guard < 10000; ++guard) {
    const BodyPump::Step step = pump.Next();
    if (step.kind == BodyPump::Step::Kind::kDone) break;
    if (step.kind == BodyPump::Step::Kind::kDrop || step.kind == BodyPump::Step::Kind::kReset) {
      run.dropped = true;
      run.reset = step.kind == BodyPump::Step::Kind::kReset;
      break;
    }
    if (step.kind == BodyPump::Step::Kind::kStall) {
      run.stallsAt.push_back(pump.sent());
      pump.Stalled();
      continue;
    }
    std::string chunk;
    for (size_t i = 0; i < step.bytes; ++i) chunk += static_cast<char>((step.fileOffset + i) % 251);
    pump.Corrupt(step.fileOffset, &chunk[0], chunk.size());
    run.body += chunk;
    run.largestWrite = std::max(run.largestWrite, chunk.size());
    pump.Wrote(chunk.size());
  }
  return run;
}

TEST(SimDownloadPlan, BodyFaultsChangeOnlyTheirPart) {
  const PumpRun plain = RunPump(DownloadFaults());
  ASSERT_EQ(plain.body.size(), 100u);
  EXPECT_EQ(plain.body[0], static_cast<char>(100));
  EXPECT_TRUE(plain.stallsAt.empty());
  EXPECT_FALSE(plain.dropped);

  DownloadFaults drop;
  drop.dropAfter = 30;
  const PumpRun dropped = RunPump(drop);
  EXPECT_TRUE(dropped.dropped);
  EXPECT_EQ(dropped.body, plain.body.substr(0, 30));
  EXPECT_TRUE(dropped.stallsAt.empty());

  DownloadFaults reset;
  reset.resetAfter = 30;
  const PumpRun wasReset = RunPump(reset);
  EXPECT_TRUE(wasReset.reset);
  EXPECT_EQ(wasReset.body, plain.body.substr(0, 30));
  EXPECT_FALSE(dropped.reset);

  DownloadFaults dropLate;
  dropLate.dropAfter = 100;  // the whole body fits: nothing is cut
  EXPECT_FALSE(RunPump(dropLate).dropped);

  DownloadFaults stall;
  stall.stallAfter = 40;
  stall.stallMs = 500;
  const PumpRun stalled = RunPump(stall);
  EXPECT_EQ(stalled.body, plain.body);
  EXPECT_EQ(stalled.stallsAt, std::vector<uint64_t>{40});
  EXPECT_FALSE(stalled.dropped);

  DownloadFaults corrupt;
  corrupt.corruptOffset = 150;  // file offset: body index 50
  const PumpRun corrupted = RunPump(corrupt);
  ASSERT_EQ(corrupted.body.size(), plain.body.size());
  for (size_t i = 0; i < plain.body.size(); ++i) {
    if (i == 50) {
      EXPECT_EQ(corrupted.body[i], static_cast<char>(~static_cast<unsigned char>(plain.body[i])));
    } else {
      EXPECT_EQ(corrupted.body[i], plain.body[i]) << i;
    }
  }
  corrupt.corruptOffset = 99;  // outside the range asked for
  EXPECT_EQ(RunPump(corrupt).body, plain.body);

  DownloadFaults rate;
  rate.rateBytesPerSecond = 1000;
  const PumpRun paced = RunPump(rate);
  EXPECT_EQ(paced.body, plain.body);
  EXPECT_LE(paced.largestWrite, 50u);
  BodyPump pump(0, 100, rate);
  pump.Wrote(100);
  EXPECT_EQ(pump.PaceDelayMs(0), 100);   // 100 bytes at 1000 B/s are due after 100 ms
  EXPECT_EQ(pump.PaceDelayMs(250), 0);
}

TEST(SimDownloadPlan, HeaderBlockRewrites) {
  const std::string block =
      "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nContent-Range: bytes 0-9/20\r\n"
      "Keep-Alive: timeout=5, max=1000\r\n\r\n";
  EXPECT_EQ(RewriteHeaderBlock(block, true, false),
            "HTTP/1.1 206 Partial Content\r\ncontent-length: 10\r\ncontent-range: bytes 0-9/20\r\n"
            "keep-alive: timeout=5, max=1000\r\n\r\n");
  EXPECT_EQ(RewriteHeaderBlock(block, false, true),
            "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-9/20\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(RewriteHeaderBlock("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\n",
                               false, true),
            "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(RewriteHeaderBlock(block, false, false), block);
}

// The CDN lines must be readable by fixed offsets: the cache status 16 characters after the
// start of "CF-Cache-Status:" (keeping its blank), the location after the "-" of the ray id,
// and the X-Cache value 9 characters after "X-Cache:".
TEST(SimDownloadPlan, CdnHeadersMatchTheirWireFormat) {
  CdnHeaders cdn;
  cdn.kind = CdnHeaders::Kind::kCloudflare;
  cdn.cacheStatus = "MISS";
  cdn.location = "FRA";
  std::string wire;
  for (const auto& line : PlanFileAnswer("HEAD", "", kSize, cdn, DownloadFaults()).headers) {
    wire += line.first + ": " + line.second + "\r\n";
  }
  const size_t status = wire.find("CF-Cache-Status:");
  ASSERT_NE(status, std::string::npos);
  EXPECT_EQ(wire.substr(status + 16, wire.find("\r\n", status) - status - 16), " MISS");
  const size_t ray = wire.find("CF-RAY:");
  ASSERT_NE(ray, std::string::npos);
  const size_t dash = wire.find('-', ray + 7);
  EXPECT_EQ(wire.substr(dash + 1, wire.find("\r\n", ray) - dash - 1), "FRA");

  cdn.kind = CdnHeaders::Kind::kXCache;
  cdn.xCache = "HIT from edge-7";
  const HeaderList lines = CdnHeaderLines(cdn);
  ASSERT_EQ(lines.size(), 1u);
  const std::string line = lines[0].first + ": " + lines[0].second;
  EXPECT_EQ(line.substr(9), "HIT from edge-7");
}

}  // namespace
}  // namespace vendorsim
