#include "proxy/server/ServerShare.h"

#include "proxy/cache/Cache.h"

ServerShare::ServerShare(Cache& cache, WorkerOptions options)
    : cache_(&cache), options_(std::make_shared<const WorkerOptions>(std::move(options))) {
    // Called under the cache's lock, like every change of the cache.
    cache_->when_file_removed([this](uint32_t id) { hot_files_.forget(id); });
}

void ServerShare::close() {
    std::lock_guard<std::mutex> guard(cache_lock_);
    if (!cache_) return;
    cache_->when_file_removed(nullptr);
    cache_ = nullptr;
    hot_files_ = HotFiles();
}

void ServerShare::publish(WorkerOptions options) {
    auto fresh = std::make_shared<const WorkerOptions>(std::move(options));
    std::lock_guard<std::mutex> guard(options_lock_);
    options_ = std::move(fresh);
    generation_++;
}

void ServerShare::options(WorkerOptions& o, uint64_t& generation) const {
    if (generation == generation_.load()) return;
    std::lock_guard<std::mutex> guard(options_lock_);
    o = *options_;
    generation = generation_.load();
}
