#include "room/FileDigest.h"

#include <cryptopp/sha.h>

#include <algorithm>

namespace {

// SHA-256 through Crypto++, which uses the processor's SHA instructions where it has them: the
// digest is the slowest step of a transfer over the direct link, several times slower with
// Qt's portable one.
class CDigest {
public:
    void addData(const char* data, qsizetype n) {
        m_sha.Update(reinterpret_cast<const CryptoPP::byte*>(data), static_cast<size_t>(n));
    }
    QByteArray result() {
        QByteArray digest(CryptoPP::SHA256::DIGESTSIZE, Qt::Uninitialized);
        m_sha.Final(reinterpret_cast<CryptoPP::byte*>(digest.data()));
        return digest;
    }

private:
    CryptoPP::SHA256 m_sha;
};

}  // namespace

bool CFileSink::Open(const QString& path) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        return false;
    }
    m_created = true;
    m_thread = std::thread([this, path] { Run(path); });
    return true;
}

bool CFileSink::Write(const char* data, int n) {
    if (m_file.write(data, n) != n) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_written += n;
    if (m_waiting && m_written - m_hashed >= kWakeBytes) {
        m_work.notify_one();
    }
    return true;
}

bool CFileSink::Finish(QByteArray& digest) {
    m_file.close();
    Stop(false);
    digest = m_digest;
    return !digest.isEmpty();
}

void CFileSink::Abort() {
    Stop(true);
    m_file.close();
    if (m_created && !m_named) {
        m_file.remove();
        m_created = false;
    }
}

bool CFileSink::Rename(const QString& final) {
    m_named = m_file.rename(final);
    return m_named;
}

void CFileSink::Run(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return;
    }
    CDigest hash;
    QByteArray block(kWakeBytes, Qt::Uninitialized);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_waiting = true;
        m_work.wait(lock, [this] { return m_written - m_hashed >= kWakeBytes || m_stop; });
        m_waiting = false;
        if (m_stop && m_dropRest) {
            return;
        }
        const int64_t until = m_written;
        const bool last = m_stop;
        lock.unlock();
        int64_t at = m_hashedOwn;
        while (at < until) {
            const qint64 n = file.read(block.data(), std::min<int64_t>(block.size(), until - at));
            if (n <= 0) {
                return;
            }
            hash.addData(block.constData(), n);
            at += n;
        }
        m_hashedOwn = at;
        lock.lock();
        m_hashed = at;
        if (last) {
            m_digest = hash.result();
            return;
        }
    }
}

void CFileSink::Stop(bool dropRest) {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_dropRest = dropRest;
        m_work.notify_one();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

const QByteArray& CFileHasher::Result() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_digest;
}

void CFileHasher::Run(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return;
    }
    CDigest hash;
    QByteArray block(1 << 20, Qt::Uninitialized);
    int64_t total = 0;
    while (!m_stop) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0) {
            return;
        }
        if (n == 0) {
            break;
        }
        hash.addData(block.constData(), n);
        total += n;
    }
    if (!m_stop && total == m_size) {
        m_digest = hash.result();
    }
}
