#include "view/lcd/picture_maker.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <utility>

namespace view {

namespace net = boost::asio;

namespace {
constexpr std::size_t kKeptPictures = 8;
}  // namespace

PictureMaker::PictureMaker(net::io_context& io, std::size_t max_waiting,
                           std::uint64_t max_waiting_pixels)
    : io_(io), max_waiting_(max_waiting), max_waiting_pixels_(max_waiting_pixels) {}

PictureMaker::~PictureMaker() { Stop(); }

std::string PictureMaker::Key(std::uint64_t version, const PictureOptions& options) {
    return std::to_string(version) + " " + DisplaySizeName(options.size) + " " +
           std::to_string(static_cast<int>(options.rom)) + " " + ThemeName(options.theme) + " " +
           std::to_string(options.scale);
}

bool PictureMaker::Make(const Rows& bytes, std::uint64_t version, const PictureOptions& options,
                        Done done) {
    const std::string key = Key(version, options);
    for (auto kept = kept_.begin(); kept != kept_.end(); ++kept) {
        if (kept->key != key) continue;
        kept_.splice(kept_.begin(), kept_, kept);
        done(kept_.front().png);
        return true;
    }
    if (*stopped_) return false;
    // A picture already being drawn is shared by everyone who asks for it.
    for (Drawing& drawing : drawing_) {
        if (drawing.key != key) continue;
        drawing.waiting.push_back(std::move(done));
        return true;
    }
    const std::uint64_t pixels = PicturePixels(options);
    if (drawing_.size() >= max_waiting_ ||
        (!drawing_.empty() && waiting_pixels_ + pixels > max_waiting_pixels_))
        return false;
    waiting_pixels_ += pixels;
    drawing_.push_back({key, pixels, {std::move(done)}});
    // The I/O thread's run() lasts at least until the pictures are back.
    if (!work_) work_.emplace(io_.get_executor());
    net::post(pool_, [this, stopped = stopped_, bytes, key, options] {
        auto png = std::make_shared<const std::string>(RenderPng(bytes, options));
        net::post(io_, [this, stopped, key, png] {
            if (!*stopped) Drawn(key, png);
        });
    });
    return true;
}

void PictureMaker::Drawn(const std::string& key, std::shared_ptr<const std::string> png) {
    std::vector<Done> waiting;
    for (auto drawing = drawing_.begin(); drawing != drawing_.end(); ++drawing) {
        if (drawing->key != key) continue;
        waiting = std::move(drawing->waiting);
        waiting_pixels_ -= drawing->pixels;
        drawing_.erase(drawing);
        break;
    }
    if (drawing_.empty()) work_.reset();
    kept_.push_front({key, png});
    if (kept_.size() > kKeptPictures) kept_.pop_back();
    for (const Done& done : waiting) done(png);
}

void PictureMaker::Stop() {
    if (*stopped_) return;
    *stopped_ = true;
    work_.reset();
    drawing_.clear();  // the requests waiting hold their connections
    waiting_pixels_ = 0;
    pool_.stop();
    pool_.join();
}

}  // namespace view
