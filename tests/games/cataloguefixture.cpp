#include "cataloguefixture.h"

void CatalogueFixture::startLoader()
{
    m_model = std::make_shared<GameModel>();
    const std::string file = path().toStdString();
    m_detector = std::make_unique<GameDetector>(m_model, [file] { return file; });
    m_log = std::make_unique<LogCapture>();
}

void CatalogueFixture::stopLoader()
{
    m_log.reset();
    m_detector.reset();
    m_model.reset();
}

QStringList CatalogueFixture::pass()
{
    m_log->clear();
    m_detector->LoadGameData();
    return m_log->errors();
}
