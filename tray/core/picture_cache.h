// Decoded pictures kept between shows, so a picture is decoded once and not
// at every OSD request. An entry is used only while its file still has the
// size and last-write time it had when it was decoded: a picture replaced on
// disk is decoded anew, and a removed one is forgotten. The entries' bytes
// stay within a budget; the least recently used go first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

namespace vx {

// What identifies one version of a file: its size and last-write time.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;
    bool operator==(const FileStamp&) const = default;
};

template <typename Picture>
class PictureCache {
public:
    explicit PictureCache(std::size_t budgetBytes) : m_budget(budgetBytes) {}

    // The picture decoded from `path` when it was stored under the same stamp
    // (and marks it as just used); nullptr otherwise, dropping a stale entry.
    std::shared_ptr<Picture> Find(const std::string& path, const FileStamp& stamp) {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->path != path) continue;
            if (!(it->stamp == stamp)) {
                Drop(it);
                return nullptr;
            }
            m_entries.splice(m_entries.begin(), m_entries, it);
            return m_entries.front().picture;
        }
        return nullptr;
    }

    // Keeps a picture that takes `bytes`, evicting the least recently used
    // entries to stay within the budget. One larger than the whole budget is
    // not kept.
    void Store(const std::string& path, const FileStamp& stamp, std::shared_ptr<Picture> picture, std::size_t bytes) {
        Forget(path);
        if (!picture || bytes > m_budget) return;
        while (!m_entries.empty() && m_used + bytes > m_budget) Drop(std::prev(m_entries.end()));
        m_entries.push_front({path, stamp, std::move(picture), bytes});
        m_used += bytes;
    }

    // Drops the entry of a file that is gone or unreadable.
    void Forget(const std::string& path) {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->path == path) {
                Drop(it);
                return;
            }
        }
    }

    std::size_t UsedBytes() const { return m_used; }
    std::size_t Count() const { return m_entries.size(); }

private:
    struct Entry {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<Picture> picture;
        std::size_t bytes;
    };
    void Drop(typename std::list<Entry>::iterator it) {
        m_used -= it->bytes;
        m_entries.erase(it);
    }

    std::list<Entry> m_entries;  // most recently used first
    std::size_t m_budget;
    std::size_t m_used = 0;
};

}  // namespace vx
