// Skin smoothing on the graphics card: Direct3D 9 and D3DX9 loaded at run
// time, three pixel-shader passes into off-screen targets, read back to RGB24.
#pragma once

#include <d3d9.h>
#include <d3dx9effect.h>

#include "AlignedBuffer.h"
#include "TemporalPreFilter.h"
#include "VideoProcessing.h"

class D3DVideoProcessing : public VideoProcessing {
public:
    // D3DX9 libraries tried in this order.
    static const char* const kD3DXLibraries[4];

    D3DVideoProcessing();
    ~D3DVideoProcessing() override;

    bool Init(HWND window, int width, int height) override;
    bool Prepare(HWND window, int width, int height) override;
    void Uninit() override;
    bool ProcessStep(uint8_t* source, uint8_t* destination, int width, int height, int stride) override;
    void SetStrength(int percent) override;
    void SetMix(int percent) override;

    // Hardware transform and lighting and pixel shader 3.0.
    static bool HasRequiredCaps(const D3DCAPS9& caps);

    float Radius() const { return m_radius; }
    float Amount() const { return m_amount; }
    float NoiseSigma() const { return m_noiseSigma; }
    float LerpCoefficient() const { return m_lerpCoefficient; }
    int MotionThreshold() const { return m_preFilter.Threshold(); }
    bool HasDevice() const { return m_device != nullptr; }
    D3DFORMAT TextureFormat() const { return m_textureFormat; }

private:
    struct Effect {
        ID3DXEffect* effect = nullptr;
        D3DXHANDLE technique = nullptr;
        D3DXHANDLE texture[4] = {nullptr, nullptr, nullptr, nullptr};
    };
    typedef IDirect3D9*(WINAPI* Direct3DCreate9Fn)(UINT);
    typedef HRESULT(WINAPI* D3DXCreateEffectFn)(IDirect3DDevice9*, LPCVOID, UINT, const D3DXMACRO*, ID3DXInclude*,
                                                 DWORD, ID3DXEffectPool*, ID3DXEffect**, ID3DXBuffer**);

    bool CreateD3D();
    bool LoadEffect(int index);

    // Set by CreateD3D when it stopped at a step the frame size cannot change
    // (the card's capabilities, the effects).
    bool m_failedForEverySize = false;
    bool CreateTextures(int width, int height);
    void ReleaseTextures();
    void ReleaseDeviceObjects();
    bool Render(const uint8_t* input, uint8_t* output);
    bool CopyToTexture(const uint8_t* input);
    bool BeginTarget(IDirect3DSurface9* target);
    bool DrawEffect(Effect& effect, bool firstPass);
    bool DrawQuad();
    bool ReadBack(uint8_t* output);

    HWND m_window = nullptr;
    int m_width = 0, m_height = 0;
    float m_radius = 15.0f;
    float m_amount = 0.4f;
    float m_noiseSigma = 0.16f;
    float m_lerpCoefficient = 0.1f;

    IDirect3D9* m_d3d = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    IDirect3DTexture9* m_inputTexture = nullptr;
    // 0: patch filter, 1: horizontal box, 2: final picture (never sampled
    // while it is drawn into).
    IDirect3DTexture9* m_targetTexture[3] = {nullptr, nullptr, nullptr};
    IDirect3DSurface9* m_targetSurface[3] = {nullptr, nullptr, nullptr};
    IDirect3DTexture9* m_readTexture = nullptr;
    IDirect3DSurface9* m_readSurface = nullptr;
    IDirect3DVertexBuffer9* m_vertexBuffer = nullptr;
    IDirect3DVertexDeclaration9* m_declaration = nullptr;
    D3DFORMAT m_textureFormat = D3DFMT_X8R8G8B8;

    HMODULE m_d3d9Module = nullptr;
    HMODULE m_d3dxModule = nullptr;
    Direct3DCreate9Fn m_direct3DCreate9 = nullptr;
    FARPROC m_createEffectFromFile = nullptr;
    D3DXCreateEffectFn m_createEffect = nullptr;
    Effect m_effects[3];

    AlignedBuffer m_input32{32};
    AlignedBuffer m_output32{32};
    AlignedBuffer m_prefiltered{32};
    TemporalPreFilter m_preFilter;
    int m_lastWidth = 0, m_lastHeight = 0;
};
