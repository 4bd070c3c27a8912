#include "wakeaddresses.h"

#include "bookrecords.h"
#include "booksdatabase.h"

namespace WakeAddresses {

bool fromBooks(const QString& path, Map* addresses, QString* error)
{
    BooksDatabase db(path, BooksDatabase::Mode::ReadOnly);
    QMap<QString, QByteArray> kept;
    BooksDatabase::Outcome outcome = db.open();
    if (outcome.ok())
        outcome = readStationNetworks(db, &kept);
    if (!outcome.ok() && outcome.problem != BooksDatabase::Problem::Missing) {
        *error = outcome.message;
        return false;
    }
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        QVector<NetworkAddress> network;
        QString ignored;
        // A row the books kept from an older status that no longer reads is no address.
        if (networkFromJson(*it, &network, &ignored))
            addresses->insert(it.key(), network);
    }
    return true;
}

} // namespace WakeAddresses
