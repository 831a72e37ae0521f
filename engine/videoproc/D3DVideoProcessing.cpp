#include "D3DVideoProcessing.h"

#include <atomic>
#include <cstring>

#include "D3DEffects.h"
#include "VpLog.h"

using vp::LogInfo;

namespace {

// One pre-transformed vertex layout for the buffer, the declaration and the draw.
struct QuadVertex {
    float x, y, z, rhw;
    float u, v;
};
const DWORD kQuadFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;
const UINT kQuadStride = sizeof(QuadVertex);

void FillQuad(QuadVertex* v, float width, float height)
{
    const QuadVertex quad[4] = {
        {-0.5f, -0.5f, 0.5f, 1.0f, 0.0f, 0.0f},
        {width - 0.5f, -0.5f, 0.5f, 1.0f, 1.0f, 0.0f},
        {-0.5f, height - 0.5f, 0.5f, 1.0f, 0.0f, 1.0f},
        {width - 0.5f, height - 0.5f, 0.5f, 1.0f, 1.0f, 1.0f},
    };
    std::memcpy(v, quad, sizeof quad);
}

template <class T> void SafeRelease(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

}  // namespace

// Trying Direct3D costs a device per D3DX library (about a second and a half
// where it fails), and the processor is made on the frame thread: once every
// library has failed for a reason the frame size cannot change, the module
// does not try again.
static std::atomic<bool> g_direct3DUnusable{false};

const char* const D3DVideoProcessing::kD3DXLibraries[4] = {
    "d3dx9_37.dll", "d3dx9_41.dll", "d3dx9_42.dll", "d3dx9_43.dll"};

D3DVideoProcessing::D3DVideoProcessing() : VideoProcessing(0) {}

D3DVideoProcessing::~D3DVideoProcessing()
{
    Uninit();
}

bool D3DVideoProcessing::HasRequiredCaps(const D3DCAPS9& caps)
{
    return (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0 && caps.PixelShaderVersion >= D3DPS_VERSION(3, 0);
}

bool D3DVideoProcessing::Init(HWND window, int width, int height)
{
    if (width <= 0 || height <= 0) {
        LogInfo("D3DVideoProcessing width: %d height: %d", width, height);
        return false;
    }
    Uninit();
    if (g_direct3DUnusable) {
        LogInfo("D3DVideoProcessing: Direct3D failed before for every size");
        return false;
    }
    if (!IsWindow(window))
        window = GetDesktopWindow();
    m_window = window;
    m_width = width;
    m_height = height;
    bool everySize = true;  // every library so far failed whatever the size
    for (const char* library : kD3DXLibraries) {
        m_d3d9Module = LoadLibraryA("d3d9.dll");
        if (!m_d3d9Module) {
            LogInfo("LoadLibraryA d3d9.dll failed");
            g_direct3DUnusable = true;
            return false;
        }
        m_direct3DCreate9 = reinterpret_cast<Direct3DCreate9Fn>(GetProcAddress(m_d3d9Module, "Direct3DCreate9"));
        if (!m_direct3DCreate9) {
            LogInfo("GetProcAddress Direct3DCreate9 failed");
            Uninit();
            return false;
        }
        m_d3dxModule = LoadLibraryA(library);
        if (m_d3dxModule) {
            m_createEffectFromFile = GetProcAddress(m_d3dxModule, "D3DXCreateEffectFromFileA");
            m_createEffect = reinterpret_cast<D3DXCreateEffectFn>(GetProcAddress(m_d3dxModule, "D3DXCreateEffect"));
            if (m_createEffect) {
                m_failedForEverySize = false;
                if (CreateD3D())
                    return true;
                LogInfo("CreateD3D failed");
                everySize = everySize && m_failedForEverySize;
            }
        }
        LogInfo("LoadLibraryA failed: %s", library);
        Uninit();
    }
    LogInfo("d3dx9 4 dll load failed");
    if (everySize)
        g_direct3DUnusable = true;
    return false;
}

bool D3DVideoProcessing::Prepare(HWND, int, int)
{
    return false;
}

bool D3DVideoProcessing::CreateD3D()
{
    m_d3d = m_direct3DCreate9(D3D_SDK_VERSION);
    if (!m_d3d) {
        LogInfo("m_fnDirect3DCreate9 failed");
        return false;
    }
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof caps);
    HRESULT hr = m_d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    if (FAILED(hr)) {
        LogInfo("m_pDev->GetDeviceCaps failed: %0Xd", (unsigned)hr);
        ReleaseDeviceObjects();
        return false;
    }
    if (!HasRequiredCaps(caps)) {
        LogInfo("caps.DevCaps failed: %0Xd", (unsigned)caps.DevCaps);
        m_failedForEverySize = true;
        ReleaseDeviceObjects();
        return false;
    }

    D3DPRESENT_PARAMETERS present;
    std::memset(&present, 0, sizeof present);
    present.BackBufferWidth = m_width;
    present.BackBufferHeight = m_height;
    present.BackBufferFormat = D3DFMT_X8R8G8B8;
    present.BackBufferCount = 1;
    present.MultiSampleType = D3DMULTISAMPLE_NONE;
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.hDeviceWindow = m_window;
    present.Windowed = TRUE;
    present.EnableAutoDepthStencil = TRUE;
    present.AutoDepthStencilFormat = D3DFMT_D24X8;
    hr = m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                             &present, &m_device);
    if (FAILED(hr)) {
        LogInfo("m_pDev->CreateDevice failed: %0Xd", (unsigned)hr);
        m_device = nullptr;
        present.BackBufferFormat = D3DFMT_A8R8G8B8;
        present.AutoDepthStencilFormat = D3DFMT_D16;
        hr = m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                 &present, &m_device);
        if (FAILED(hr)) {
            LogInfo("m_pDev->CreateDevice failed: %0Xd", (unsigned)hr);
            m_device = nullptr;
            ReleaseDeviceObjects();
            return false;
        }
    }
    m_textureFormat = present.BackBufferFormat;

    for (int i = 0; i < 3; ++i) {
        if (!LoadEffect(i)) {
            m_failedForEverySize = true;
            ReleaseDeviceObjects();
            LogInfo("m_Effect[%d].Load failed", i);
            return false;
        }
    }

    for (DWORD sampler = 1; sampler <= 2; ++sampler) {
        m_device->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        m_device->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    }
    for (DWORD sampler = 0; sampler <= 2; ++sampler) {
        m_device->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        m_device->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    }
    m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    m_device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetRenderState(D3DRS_DITHERENABLE, FALSE);

    hr = m_device->CreateVertexBuffer(4 * kQuadStride, 0, kQuadFvf, D3DPOOL_DEFAULT, &m_vertexBuffer, nullptr);
    if (FAILED(hr)) {
        LogInfo("m_pd3dDevice->CreateVertexBuffer failed: %0Xd", (unsigned)hr);
        m_vertexBuffer = nullptr;
        ReleaseDeviceObjects();
        return false;
    }
    void* vertices = nullptr;
    if (SUCCEEDED(m_vertexBuffer->Lock(0, 0, &vertices, 0))) {
        FillQuad(static_cast<QuadVertex*>(vertices), (float)m_width, (float)m_height);
        m_vertexBuffer->Unlock();
    }
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    hr = m_device->CreateVertexDeclaration(elements, &m_declaration);
    if (FAILED(hr)) {
        LogInfo("m_pd3dDevice->CreateVertexDeclaration failed: %0Xd", (unsigned)hr);
        m_declaration = nullptr;
        ReleaseDeviceObjects();
        return false;
    }
    if (!CreateTextures(m_width, m_height)) {
        LogInfo("CreateTexture failed");
        ReleaseDeviceObjects();
        return false;
    }
    return true;
}

bool D3DVideoProcessing::LoadEffect(int index)
{
    Effect& holder = m_effects[index];
    const char* text = vp::kEffectSources[index];
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = m_createEffect(m_device, text, (UINT)std::strlen(text), nullptr, nullptr, 0, nullptr,
                                      &holder.effect, &errors);
    SafeRelease(errors);
    if (FAILED(hr) || !holder.effect) {
        holder.effect = nullptr;
        return false;
    }
    holder.technique = holder.effect->GetTechniqueByName("vpProcess");
    for (int i = 0; i < 4; ++i) {
        char name[16];
        wsprintfA(name, "Texture%d", i);
        holder.texture[i] = holder.effect->GetParameterByName(nullptr, name);
    }
    return holder.technique != nullptr && holder.texture[0] != nullptr;
}

bool D3DVideoProcessing::CreateTextures(int width, int height)
{
    HRESULT hr = m_device->CreateTexture(width, height, 1, 0, m_textureFormat, D3DPOOL_MANAGED, &m_inputTexture,
                                         nullptr);
    if (FAILED(hr)) {
        LogInfo("D3DVideoProcessing::CreateTexture failed: %0Xd", (unsigned)hr);
        m_inputTexture = nullptr;
        return false;
    }
    LogInfo("D3DVideoProcessing::CreateTexture success");
    for (int i = 0; i < 3; ++i) {
        hr = m_device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, m_textureFormat, D3DPOOL_DEFAULT,
                                     &m_targetTexture[i], nullptr);
        if (SUCCEEDED(hr))
            hr = m_targetTexture[i]->GetSurfaceLevel(0, &m_targetSurface[i]);
        if (FAILED(hr)) {
            LogInfo("m_pd3dDevice->CreateTexture failed: %0Xd", (unsigned)hr);
            ReleaseTextures();
            return false;
        }
    }
    return true;
}

void D3DVideoProcessing::ReleaseTextures()
{
    SafeRelease(m_readSurface);
    SafeRelease(m_readTexture);
    for (int i = 0; i < 3; ++i) {
        SafeRelease(m_targetSurface[i]);
        SafeRelease(m_targetTexture[i]);
    }
    SafeRelease(m_inputTexture);
}

void D3DVideoProcessing::ReleaseDeviceObjects()
{
    for (Effect& holder : m_effects) {
        SafeRelease(holder.effect);
        holder = Effect();
    }
    ReleaseTextures();
    SafeRelease(m_vertexBuffer);
    SafeRelease(m_declaration);
    SafeRelease(m_device);
    SafeRelease(m_d3d);
}

void D3DVideoProcessing::Uninit()
{
    ReleaseDeviceObjects();
    if (m_d3dxModule)
        FreeLibrary(m_d3dxModule);
    if (m_d3d9Module)
        FreeLibrary(m_d3d9Module);
    m_d3dxModule = m_d3d9Module = nullptr;
    m_direct3DCreate9 = nullptr;
    m_createEffectFromFile = nullptr;
    m_createEffect = nullptr;
}

void D3DVideoProcessing::SetStrength(int percent)
{
    const float c = percent / 100.0f;
    m_noiseSigma = c * 0.08f + 0.01f;
    m_lerpCoefficient = c * 0.1f + 0.1f;
    m_preFilter.SetThreshold(20 - (int)(percent / -100.0 * 12));
}

void D3DVideoProcessing::SetMix(int percent)
{
    m_amount = percent / 100.0f * 0.6f + 0.05f;
    m_radius = 15.0f;
}

bool D3DVideoProcessing::ProcessStep(uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    if (!m_device || !source || !destination || width <= 0 || height <= 0 || stride < width * 3)
        return false;
    if (!m_autoMode)
        m_preFilter.EnsureBlocks(width, height);
    const bool resized = width != m_lastWidth || height != m_lastHeight;
    if (resized)
        m_preFilter.DropReferences();
    if (!m_inputTexture || resized || width != m_width || height != m_height) {
        ReleaseTextures();
        if (!CreateTextures(width, height)) {
            LogInfo("CreateTexture failed");
            return false;
        }
        m_width = width;
        m_height = height;
    }
    m_lastWidth = width;
    m_lastHeight = height;
    const size_t frame32 = (size_t)width * 4 * height;
    if (!m_input32.Ensure(frame32) || !m_output32.Ensure(frame32) || !m_prefiltered.Ensure((size_t)stride * height))
        return false;

    if (!m_autoMode) {
        const uint8_t* input = source;
        if (width % 16 == 0 && height % 16 == 0) {
            m_preFilter.Run(source, m_prefiltered.Data(), width, height, stride);
            input = m_prefiltered.Data();
        }
        Rgb24ToRgb32(input, stride, m_input32.Data(), width, height);
        if (!Render(m_input32.Data(), m_output32.Data()))
            return false;
        Rgb32ToRgb24(m_output32.Data(), destination, stride, width, height);
    } else {
        Rgb24ToRgb32(source, stride, m_input32.Data(), width, height);
        if (!Render(m_input32.Data(), m_output32.Data()))
            return false;
        Rgb32ToRgb24(m_output32.Data(), source, stride, width, height);
        ApplyTone(source, destination, width, height, stride);
    }
    return true;
}

bool D3DVideoProcessing::CopyToTexture(const uint8_t* input)
{
    D3DLOCKED_RECT locked;
    if (FAILED(m_inputTexture->LockRect(0, &locked, nullptr, 0))) {
        LogInfo("CopyToTexture LockRect failed");
        return false;
    }
    const size_t rowBytes = (size_t)m_width * 4;
    uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
    if ((size_t)locked.Pitch == rowBytes) {
        std::memcpy(bits, input, rowBytes * m_height);
    } else {
        for (int y = 0; y < m_height; ++y)
            std::memcpy(bits + (size_t)y * locked.Pitch, input + y * rowBytes, rowBytes);
    }
    m_inputTexture->UnlockRect(0);
    return true;
}

bool D3DVideoProcessing::BeginTarget(IDirect3DSurface9* target)
{
    if (FAILED(m_device->SetRenderTarget(0, target))) {
        LogInfo("SetTexture failed");
        return false;
    }
    if (FAILED(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0))) {
        LogInfo("m_pd3dDevice->Clear failed");
        return false;
    }
    return true;
}

bool D3DVideoProcessing::DrawQuad()
{
    float width = (float)m_width, height = (float)m_height;
    IDirect3DSurface9* target = nullptr;
    if (SUCCEEDED(m_device->GetRenderTarget(0, &target)) && target) {
        D3DSURFACE_DESC desc;
        if (SUCCEEDED(target->GetDesc(&desc))) {
            width = (float)desc.Width;
            height = (float)desc.Height;
        }
        target->Release();
    }
    QuadVertex quad[4];
    FillQuad(quad, width, height);
    const HRESULT hr = m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, kQuadStride);
    if (FAILED(hr)) {
        LogInfo("m_pd3dDevice->DrawPrimitiveUP failed %0Xd", (unsigned)hr);
        return false;
    }
    return true;
}

bool D3DVideoProcessing::DrawEffect(Effect& holder, bool firstPass)
{
    ID3DXEffect* effect = holder.effect;
    UINT passes = 0;
    if (FAILED(effect->SetTechnique(holder.technique)) || FAILED(effect->Begin(&passes, 0)))
        return false;
    bool ok = SUCCEEDED(effect->BeginPass(0));
    if (ok) {
        const HRESULT hr = m_device->SetStreamSource(0, m_vertexBuffer, 0, kQuadStride);
        if (FAILED(hr)) {
            LogInfo(firstPass ? "m_pd3dDevice->SetStreamSource failed %0Xd"
                              : "m_pd3dDevice->SetStreamSource failed: %0Xd",
                    (unsigned)hr);
            ok = false;
        } else {
            ok = DrawQuad();
        }
        effect->EndPass();
    }
    effect->End();
    return ok;
}

bool D3DVideoProcessing::Render(const uint8_t* input, uint8_t* output)
{
    if (!CopyToTexture(input)) {
        LogInfo("CopyToTexture failed");
        return false;
    }
    const float width = (float)m_width, height = (float)m_height;

    // Pass 0: patch filter of the input into target 0.
    if (!BeginTarget(m_targetSurface[0]))
        return false;
    if (FAILED(m_device->BeginScene())) {
        LogInfo("m_pd3dDevice->BeginScene failed");
        return false;
    }
    bool ok = true;
    if (FAILED(m_device->SetFVF(kQuadFvf))) {
        LogInfo("m_pd3dDevice->SetFVF failed");
        ok = false;
    }
    if (ok) {
        m_device->SetVertexDeclaration(m_declaration);
        ID3DXEffect* e = m_effects[0].effect;
        e->SetTexture(m_effects[0].texture[0], m_inputTexture);
        e->SetFloat("g_fWidth", width);
        e->SetFloat("g_fHeight", height);
        e->SetFloat("g_NoiseLevel", 1.0f / (m_noiseSigma * m_noiseSigma));
        e->SetFloat("g_LerpCoefficient", m_lerpCoefficient);
        ok = DrawEffect(m_effects[0], true);
    }
    if (FAILED(m_device->EndScene()) && ok) {
        LogInfo("m_pd3dDevice->EndScene failed");
        ok = false;
    }
    if (!ok)
        return false;

    // Pass 1: horizontal box of target 0 into target 1, then the vertical box
    // of target 1 with the unsharp mask of target 0 into target 2.
    if (!BeginTarget(m_targetSurface[1]))
        return false;
    if (FAILED(m_device->BeginScene())) {
        LogInfo("m_pd3dDevice->BeginScene failed");
        return false;
    }
    if (FAILED(m_device->SetFVF(kQuadFvf))) {
        LogInfo("m_pd3dDevice->SetFVF failed");
        ok = false;
    }
    if (ok) {
        m_device->SetVertexDeclaration(m_declaration);
        ID3DXEffect* e = m_effects[1].effect;
        e->SetTexture(m_effects[1].texture[0], m_targetTexture[0]);
        e->SetFloat("g_fWidth", width);
        e->SetFloat("g_fHeight", height);
        e->SetFloat("g_fRadius", m_radius);
        e->SetFloat("g_fAmount", m_amount);
        ok = DrawEffect(m_effects[1], false);
    }
    if (ok)
        ok = BeginTarget(m_targetSurface[2]);
    if (ok) {
        ID3DXEffect* e = m_effects[2].effect;
        e->SetTexture(m_effects[2].texture[0], m_targetTexture[1]);
        if (m_effects[2].texture[1])
            e->SetTexture(m_effects[2].texture[1], m_targetTexture[0]);
        e->SetFloat("g_fWidth", width);
        e->SetFloat("g_fHeight", height);
        e->SetFloat("g_fRadius", m_radius);
        e->SetFloat("g_fAmount", m_amount);
        ok = DrawEffect(m_effects[2], false);
    }
    if (FAILED(m_device->EndScene()) && ok) {
        LogInfo("m_pd3dDevice->EndScene failed");
        ok = false;
    }
    return ok && ReadBack(output);
}

bool D3DVideoProcessing::ReadBack(uint8_t* output)
{
    if (!m_readTexture) {
        D3DSURFACE_DESC desc;
        if (FAILED(m_targetSurface[2]->GetDesc(&desc)) ||
            FAILED(m_device->CreateTexture(desc.Width, desc.Height, 1, 0, desc.Format, D3DPOOL_SYSTEMMEM,
                                           &m_readTexture, nullptr)) ||
            FAILED(m_readTexture->GetSurfaceLevel(0, &m_readSurface))) {
            SafeRelease(m_readSurface);
            SafeRelease(m_readTexture);
            return false;
        }
    }
    D3DLOCKED_RECT locked;
    if (FAILED(m_device->GetRenderTargetData(m_targetSurface[2], m_readSurface)) ||
        FAILED(m_readTexture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
        SafeRelease(m_readSurface);
        SafeRelease(m_readTexture);
        return false;
    }
    const size_t rowBytes = (size_t)m_width * 4;
    const uint8_t* bits = static_cast<const uint8_t*>(locked.pBits);
    for (int y = 0; y < m_height; ++y)
        std::memcpy(output + y * rowBytes, bits + (size_t)y * locked.Pitch, rowBytes);
    m_readTexture->UnlockRect(0);
    return true;
}
