// Makes the display's pictures for the server off its I/O thread, so that a
// crowd of picture requests never holds up the event streams, and keeps the
// last few, so that the same screen and options are drawn only once.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "view/lcd/lcd_picture.h"

namespace view {

class PictureMaker {
public:
    using Done = std::function<void(std::shared_ptr<const std::string> png)>;

    // `io` is where `done` runs. At most `max_waiting` different pictures
    // wait to be drawn at once, of `max_waiting_pixels` in all, as a picture
    // costs in proportion to its pixels; a picture larger than that is drawn
    // only when none waits. Any number of requests may wait for each.
    PictureMaker(boost::asio::io_context& io, std::size_t max_waiting = 16,
                 std::uint64_t max_waiting_pixels = 2 * PixelBudget());
    ~PictureMaker();
    PictureMaker(const PictureMaker&) = delete;
    PictureMaker& operator=(const PictureMaker&) = delete;

    // The picture of `bytes` (the screen of `version`) with `options`; `done`
    // gets it on the I/O thread, at once when it is kept. False, and `done`
    // never called, when too many are waiting already. Call on the I/O thread.
    bool Make(const Rows& bytes, std::uint64_t version, const PictureOptions& options, Done done);

    // Stops drawing; pictures still waiting are dropped.
    void Stop();

private:
    struct Kept {
        std::string key;
        std::shared_ptr<const std::string> png;
    };
    static std::string Key(std::uint64_t version, const PictureOptions& options);
    // On the I/O thread, once the picture of `key` is drawn: keeps it and
    // hands it to everyone waiting for it.
    void Drawn(const std::string& key, std::shared_ptr<const std::string> png);

    boost::asio::io_context& io_;
    boost::asio::thread_pool pool_{1};
    const std::size_t max_waiting_;
    const std::uint64_t max_waiting_pixels_;
    std::uint64_t waiting_pixels_ = 0;
    struct Drawing {
        std::string key;
        std::uint64_t pixels;
        std::vector<Done> waiting;  // everyone who asked for it
    };
    std::vector<Drawing> drawing_;  // pictures on their way
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work_;
    std::list<Kept> kept_;  // the most recently used first
    std::shared_ptr<bool> stopped_ = std::make_shared<bool>(false);
};

}  // namespace view
