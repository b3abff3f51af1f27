#include "commonlib/core/BufferStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(IBufferStream, ReadTakesAllOrNothing) {
  const std::string data = "abcde";
  IBufferStream in(data.data(), data.size(), false);
  EXPECT_EQ(in.GetSize(), 5u);
  char buf[8] = {};
  EXPECT_EQ(in.Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(in.Read(buf, 3), -1);  // two bytes left: nothing copied, nothing consumed
  EXPECT_EQ(in.Position(), 3u);
  EXPECT_EQ(in.Read(buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "de");
  EXPECT_EQ(in.Read(buf, 1), 0);  // at the end
  EXPECT_EQ(in.Read(buf, 0), 0);
}

TEST(IBufferStream, CopyOwnsItsBytesAndCloseEmptiesIt) {
  std::string data = "xyz";
  IBufferStream copied(data.data(), data.size(), true);
  IBufferStream borrowed(data.data(), data.size(), false);
  data[0] = 'Q';
  char a = 0, b = 0;
  EXPECT_EQ(copied.Read(&a, 1), 1);
  EXPECT_EQ(borrowed.Read(&b, 1), 1);
  EXPECT_EQ(a, 'x');
  EXPECT_EQ(b, 'Q');

  copied.Close();
  EXPECT_EQ(copied.GetSize(), 0u);
  EXPECT_EQ(copied.Read(&a, 1), 0);

  IBufferStream empty(nullptr, 0, true);
  EXPECT_EQ(empty.Read(&a, 1), 0);
}

TEST(OBufferStream, StartsAt65535AndDoublesToFitAMegabyte) {
  OBufferStream out;
  EXPECT_EQ(out.GetCapacity(), 65535u);
  EXPECT_EQ(out.GetLength(), 0u);
  EXPECT_EQ(out.LastError(), 0);
  EXPECT_EQ(out.ErrorKind(), 0);

  std::vector<char> megabyte(1 << 20);
  for (size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<char>(i * 7);
  EXPECT_EQ(out.Write(megabyte.data(), megabyte.size()), 1 << 20);
  EXPECT_EQ(out.GetCapacity(), 65535u * 32);  // 65535 * 16 leaves no room for the 10 spare bytes
  ASSERT_EQ(out.GetLength(), megabyte.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.GetData()), out.GetLength()),
            std::string(megabyte.begin(), megabyte.end()));
  EXPECT_EQ(out.Write("tail", 4), 4);
  EXPECT_EQ(out.GetLength(), megabyte.size() + 4);
}

TEST(OBufferStream, KeepsTenSpareBytesAndReopensAfterClose) {
  OBufferStream out;
  std::string chunk(65535 - 10, 'a');
  out.Write(chunk.data(), chunk.size());
  EXPECT_EQ(out.GetCapacity(), 65535u);
  out.Write("b", 1);
  EXPECT_EQ(out.GetCapacity(), 131070u);

  out.Dispose();
  EXPECT_EQ(out.GetCapacity(), 0u);
  EXPECT_EQ(out.GetLength(), 0u);
  EXPECT_EQ(out.Write("c", 1), 1);
  EXPECT_EQ(out.GetCapacity(), 524288u);
  EXPECT_EQ(out.GetData()[0], 'c');
}

}  // namespace
