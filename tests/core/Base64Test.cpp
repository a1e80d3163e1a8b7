#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/uBase64.h"

namespace {

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string RunCapture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace

TEST(Base64Test, Cases) {
  struct Row {
    const char* In;
    bool Ok;
    const char* Out;
  };
  const Row rows[] = {
      {"TWFu", true, "Man"},        {"TWE=", true, "Ma"},        {"TWE", true, "Ma"},
      {"TQ==", true, "M"},          {"TW Fu\r\n", true, "Man"},  {"\tTW\nFu", true, "Man"},
      {"", true, ""},               {"TQ==TQ==", false, ""},     {"TWFu-", false, ""},
      {"T", false, ""},             {"TWFuT", false, ""},        {"TQ=", true, "M"},
      {"TWFu_", false, ""},         {"TQ=====", true, "M"},
  };
  for (const Row& r : rows) {
    std::vector<uint8_t> out{1, 2, 3};
    EXPECT_EQ(Base64Decode(r.In, out), r.Ok) << r.In;
    EXPECT_EQ(Text(out), r.Out) << r.In;
  }
}

TEST(Base64Test, DecodesWhatCoreutilsEncodes) {
  std::mt19937 rng(1234);
  for (size_t size : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(57), size_t(4095), size_t(70000)}) {
    std::vector<uint8_t> data(size);
    for (auto& b : data) b = uint8_t(rng());
    char path[] = "/tmp/korvan_b64_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
    close(fd);
    std::string encoded = RunCapture(std::string("base64 ") + path);  // wraps lines at 76
    unlink(path);
    ASSERT_FALSE(size > 0 && encoded.empty()) << "coreutils base64 is needed for this test";
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(Base64Decode(encoded, decoded)) << size;
    EXPECT_EQ(decoded, data) << size;
  }
}
