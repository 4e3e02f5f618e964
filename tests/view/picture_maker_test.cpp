// Pictures drawn off the I/O thread: each comes back on it, the same screen
// and options are drawn once, and a crowd beyond the limit, in number or in
// pixels, is refused.
#include "view/lcd/picture_maker.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const view::Rows kScreen = {
    "Temp 21\xdf"
    "C",
    "\xff\xff", "", ""};

view::PictureOptions WithScale(int scale) {
    view::PictureOptions options;
    options.scale = scale;
    return options;
}

TEST(PictureMaker, DrawsOnItsOwnThreadAndAnswersOnTheIoThread) {
    boost::asio::io_context io;
    view::PictureMaker maker(io);
    std::shared_ptr<const std::string> png;
    std::thread::id answered_on;
    ASSERT_TRUE(maker.Make(kScreen, 1, WithScale(2), [&](auto picture) {
        png = picture;
        answered_on = std::this_thread::get_id();
    }));
    EXPECT_FALSE(png);  // not before the I/O thread runs
    io.run_for(std::chrono::seconds(10));
    ASSERT_TRUE(png);
    EXPECT_EQ(answered_on, std::this_thread::get_id());
    EXPECT_EQ(*png, view::RenderPng(kScreen, WithScale(2)));

    // The same version and options: the kept picture, at once.
    std::shared_ptr<const std::string> again;
    ASSERT_TRUE(maker.Make(kScreen, 1, WithScale(2), [&](auto picture) { again = picture; }));
    EXPECT_EQ(again, png);
    // Another version is drawn afresh.
    std::shared_ptr<const std::string> next;
    ASSERT_TRUE(maker.Make({"other", "", "", ""}, 2, WithScale(2), [&](auto p) { next = p; }));
    EXPECT_FALSE(next);
    io.restart();
    io.run_for(std::chrono::seconds(10));
    ASSERT_TRUE(next);
    EXPECT_NE(*next, *png);
}

TEST(PictureMaker, RefusesPicturesBeyondItsLimit) {
    boost::asio::io_context io;
    view::PictureMaker maker(io, 2);
    int answered = 0;
    EXPECT_TRUE(maker.Make(kScreen, 1, WithScale(1), [&](auto) { ++answered; }));
    EXPECT_TRUE(maker.Make(kScreen, 1, WithScale(2), [&](auto) { ++answered; }));
    EXPECT_FALSE(maker.Make(kScreen, 1, WithScale(3), [&](auto) { ++answered; }));
    io.run_for(std::chrono::seconds(10));
    EXPECT_EQ(answered, 2);
    // Asking again for a picture on its way waits for the same drawing.
    std::vector<std::shared_ptr<const std::string>> shared;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(maker.Make(kScreen, 2, WithScale(1), [&](auto p) { shared.push_back(p); }));
    EXPECT_TRUE(maker.Make(kScreen, 2, WithScale(2), [&](auto) { ++answered; }));
    EXPECT_FALSE(maker.Make(kScreen, 2, WithScale(3), [&](auto) { ++answered; }));
    io.restart();
    io.run_for(std::chrono::seconds(10));
    ASSERT_EQ(shared.size(), 5u);
    for (const auto& png : shared) EXPECT_EQ(png, shared.front());
    EXPECT_EQ(answered, 3);
    // Once drawn, there is room again.
    EXPECT_TRUE(maker.Make(kScreen, 1, WithScale(3), [&](auto) { ++answered; }));
    io.restart();
    io.run_for(std::chrono::seconds(10));
    EXPECT_EQ(answered, 4);
}

// Pictures cost in proportion to their pixels: a few large ones fill the
// room that many small ones would, and one larger than all of it is still
// drawn when nothing else waits.
TEST(PictureMaker, WhatWaitsIsCountedInPixels) {
    boost::asio::io_context io;
    view::PictureMaker maker(io, 16, view::PicturePixels(WithScale(3)));
    int answered = 0;
    const auto make = [&](std::uint64_t version, int scale) {
        return maker.Make(kScreen, version, WithScale(scale), [&](auto) { ++answered; });
    };
    EXPECT_TRUE(make(1, 2));
    EXPECT_TRUE(make(1, 1));
    EXPECT_TRUE(make(2, 1));   // 2 + 1 + 1: within the pixels of one at scale 3
    EXPECT_FALSE(make(2, 2));  // 2 + 1 + 1 + 2: beyond them, though 4 of 16 wait
    io.run_for(std::chrono::seconds(10));
    EXPECT_EQ(answered, 3);
    EXPECT_TRUE(make(3, 4));   // larger than the whole room, and nothing waits
    EXPECT_FALSE(make(3, 1));  // nothing fits beside it
    io.restart();
    io.run_for(std::chrono::seconds(10));
    EXPECT_EQ(answered, 4);
    // The largest picture a request may ask for is drawn with the view's own room.
    view::PictureMaker server_maker(io);
    EXPECT_TRUE(server_maker.Make(kScreen, 1, view::LargestPicture(), [&](auto) { ++answered; }));
    EXPECT_TRUE(server_maker.Make(kScreen, 2, view::LargestPicture(), [&](auto) { ++answered; }));
    EXPECT_FALSE(server_maker.Make(kScreen, 3, view::LargestPicture(), [&](auto) { ++answered; }));
    server_maker.Stop();
}

TEST(PictureMaker, StoppedMakesNoMore) {
    boost::asio::io_context io;
    view::PictureMaker maker(io);
    int answered = 0;
    EXPECT_TRUE(maker.Make(kScreen, 1, WithScale(16), [&](auto) { ++answered; }));
    maker.Stop();
    io.run();  // returns: nothing is left to wait for
    EXPECT_EQ(answered, 0);
    EXPECT_FALSE(maker.Make(kScreen, 1, WithScale(2), [&](auto) { ++answered; }));
}

}  // namespace
