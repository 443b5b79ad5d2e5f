#include "map/picture_pool.h"

#include <utility>

namespace quorel {

std::vector<std::uint8_t> PicturePool::take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (buffers_.empty()) return {};
    std::vector<std::uint8_t> buffer = std::move(buffers_.back());
    buffers_.pop_back();
    return buffer;
}

void PicturePool::giveBack(std::vector<std::uint8_t> buffer) {
    if (buffer.capacity() == 0) return;
    std::vector<std::uint8_t> freed;  // outside the lock
    const std::lock_guard<std::mutex> lock(mutex_);
    if (buffers_.size() < limit_) {
        buffers_.push_back(std::move(buffer));
    } else {
        freed = std::move(buffer);
    }
}

std::size_t PicturePool::kept() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return buffers_.size();
}

TilePicture pooledPicture(platform::Bitmap picture, const std::shared_ptr<PicturePool>& pool) {
    const std::weak_ptr<PicturePool> home = pool;
    return TilePicture(new platform::Bitmap(std::move(picture)), [home](const platform::Bitmap* done) {
        auto* owned = const_cast<platform::Bitmap*>(done);  // made above, not const
        if (const std::shared_ptr<PicturePool> to = home.lock()) to->giveBack(std::move(owned->bits));
        delete owned;
    });
}

}  // namespace quorel
