#include "FlashEffects.h"

namespace {
const int kEffectWidth = 480, kEffectHeight = 360;

bool FolderExists(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}

// ---- Effect table ----

bool CFlashEffectTable::Clear()
{
    tq::CCritSecLock lock(m_lock);
    auto found = m_players.find(m_current);
    if (m_current.empty() || found == m_players.end())
        return false;
    found->second->Stop();
    m_current.clear();
    return true;
}

bool CFlashEffectTable::Select(const std::wstring& path, HWND hostWindow)
{
    Clear();
    tq::CCritSecLock lock(m_lock);
    auto found = m_players.find(path);
    if (found == m_players.end()) {
        std::unique_ptr<CFlashPlayerHost> player(new CFlashPlayerHost);
        CFlashPlayerHost* started = player.get();
        m_players[path] = std::move(player);
        const bool played =
            started->PlayMovie(hostWindow, path.c_str(), kEffectWidth, kEffectHeight, 0, 0, false, std::string());
        m_current = path;
        return played;
    }
    found->second->Restart();
    m_current = path;
    return true;
}

void CFlashEffectTable::Draw(uint8_t* pixels, int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    if (m_current.empty())
        return;
    auto found = m_players.find(m_current);
    if (found != m_players.end() && found->second->IsPlaying())
        found->second->DrawInto(pixels, width, height);
}

size_t CFlashEffectTable::PlayerCount()
{
    tq::CCritSecLock lock(m_lock);
    return m_players.size();
}

CFlashPlayerHost* CFlashEffectTable::Player(const std::wstring& path)
{
    tq::CCritSecLock lock(m_lock);
    auto found = m_players.find(path);
    return found == m_players.end() ? nullptr : found->second.get();
}

std::wstring CFlashEffectTable::Current()
{
    tq::CCritSecLock lock(m_lock);
    return m_current;
}

// ---- Holder ----

bool CFlashHolder::Stop()
{
    tq::CCritSecLock lock(m_lock);
    if (!m_player)
        return false;
    m_player->Stop();
    m_player.reset();
    return true;
}

bool CFlashHolder::Play(const std::wstring& path, const std::string& params, HWND hostWindow)
{
    Stop();
    tq::CCritSecLock lock(m_lock);
    m_player.reset(new CFlashPlayerHost);
    m_player->PlayMovie(hostWindow, path.c_str(), kEffectWidth, kEffectHeight, 0, 0, false, params);
    return true;
}

void CFlashHolder::Draw(uint8_t* pixels, int width, int height)
{
    tq::CCritSecLock lock(m_lock);
    if (m_player && m_player->IsPlaying())
        m_player->DrawInto(pixels, width, height);
}

CFlashPlayerHost* CFlashHolder::Player()
{
    tq::CCritSecLock lock(m_lock);
    return m_player.get();
}

// ---- Thumbnails ----

CFlashThumbnailJob::~CFlashThumbnailJob()
{
    tq::CCritSecLock lock(m_lock);
    m_player.reset();
}

bool CFlashThumbnailJob::Run(const std::wstring& moviePath, const std::wstring& name, HWND hostWindow)
{
    tq::CCritSecLock lock(m_lock);
    // The thumbnail goes beside the movie: a path without a folder, or a
    // folder that is not there, is refused before any player is made.
    const size_t slash = moviePath.rfind(L'\\');
    if (slash == std::wstring::npos || !FolderExists(moviePath.substr(0, slash + 1)))
        return false;
    const std::wstring thumbnailPath = moviePath.substr(0, slash + 1) + name + L".bmp";
    m_player.reset(new CFlashPlayerHost);
    m_player->LoadStill(hostWindow, moviePath.c_str(), name.c_str(), kEffectWidth, kEffectHeight, 0, 0, false);
    if (!m_player->SaveFrame(thumbnailPath, kEffectWidth, kEffectHeight))
        return false;
    if (m_listener)
        m_listener->OnFlashThumbnail(moviePath, thumbnailPath, name);
    return true;
}
