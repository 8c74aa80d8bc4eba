#pragma once
// The presentation program as the conversions drive it: PowerPoint.Application.
#include <QString>
#include <cstdint>
#include <memory>

namespace tx::office {

class PowerPointPresentation {
public:
    virtual ~PowerPointPresentation() = default;
    virtual int32_t DefaultLanguageID() = 0;
    // Slides.Count
    virtual int32_t SlidesCount() = 0;
    // SaveAs(FileName, FileFormat): ppSaveAsJPG writes one picture per slide,
    // "<word><i>.jpg" (word "幻灯片" for language 2052, else "Slide"), into the
    // folder named by removing ".tmp" from FileName.
    virtual void SaveAs(const QString &fileName, int fileFormat) = 0;
    virtual void Close() = 0;
};

class PowerPointApplication {
public:
    virtual ~PowerPointApplication() = default;
    virtual void SetVisible(int visible) = 0;
    virtual std::unique_ptr<PowerPointPresentation> PresentationsOpen(const QString &fileName) = 0;
    // Ends this application's own instance only.
    virtual void Quit() = 0;
};

} // namespace tx::office
