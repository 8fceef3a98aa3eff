// Raw input out of EncoderDataPoolA as 4088 frames, and the frames' bytes out of EncoderDataPoolB.
#include "jobs/EncoderDataThreads.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "encoder/EncoderData.h"
#include "platform/Sleep.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

// In pieces, as an input writes.
void Put(CharPool& pool, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size(); at += 1000) {
        const std::string piece = bytes.substr(at, 1000);
        while (pool.Write(piece.data(), static_cast<int>(piece.size())) < 0) Sleep(1);
    }
}

std::string Collect(CharPool& pool, int slot, const std::function<bool(const std::string&)>& enough) {
    std::string got;
    std::vector<char> buffer(CharPool::kBufferSize);
    WaitFor([&] {
        const int n = pool.Read(buffer.data(), slot);
        if (n > 0) got.append(buffer.data(), static_cast<size_t>(n));
        return enough(got);
    });
    return got;
}

TEST(EncoderDataThreads, EncryptAndDecryptThroughTheirPools) {
    SharedState state;
    state.settings.enc_da.key = "k3y-0f-16-chars!";
    state.registry.SetState(1, 0);
    const int a = state.encoder_data_pool_a.AddEnabledReader();
    const int b = state.encoder_data_pool_b.AddEnabledReader();
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);

    ASSERT_TRUE(StartEncoderDataThread(state));
    ASSERT_TRUE(WaitFor([&] { return state.DisplayText() == "Start of EncoderData !\r\n"; }));
    std::string plain;
    for (int i = 0; i < 3000; ++i) plain += static_cast<char>(i * 7);
    Put(state.input_pool_a, plain);
    std::string decrypted;
    DecoderData check({0, "k3y-0f-16-chars!", 0, 0},
                      [&](const uint8_t* p, size_t n) { decrypted.append(reinterpret_cast<const char*>(p), n); });
    size_t checked = 0;
    const std::string frames = Collect(state.encoder_data_pool_a, a, [&](const std::string& got) {
        for (; checked < got.size(); ++checked) check.PutByte(static_cast<uint8_t>(got[checked]));
        return decrypted.size() >= plain.size();
    });
    EXPECT_EQ(decrypted, plain);

    ASSERT_TRUE(StartDecoderDataThread(state));
    ASSERT_TRUE(WaitFor([&] { return state.DisplayText() == "Start of DecoderData !\r\n"; }));
    Put(state.input_pool_a, frames);
    EXPECT_EQ(Collect(state.encoder_data_pool_b, b, [&](const std::string& got) { return got.size() >= plain.size(); }),
              plain);

    state.registry.SetState(0, 1);
    EXPECT_TRUE(WaitFor([&] { return state.registry.Query(1) == 0; }));
}

TEST(EncoderDataThreads, ARefusedKeyIsShownAndTheThreadEnds) {
    SharedState state;
    state.settings.enc_da.key = "too-short";
    state.registry.SetState(1, 0);
    ASSERT_TRUE(StartEncoderDataThread(state));
    EXPECT_TRUE(WaitFor([&] { return state.registry.Query(1) == 0; }));
    EXPECT_NE(state.DisplayText().find("enc_da field 2"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
