#include "row/table_listener.h"

#include <boost/exception/get_error_info.hpp>

#include "hex/errors.h"
#include "log/log.h"

namespace tessline {

namespace {

bool endsRun(OnFailure onFailure, const std::exception_ptr& failure) {
    switch (onFailure) {
        case OnFailure::endsRun: return true;
        case OnFailure::logged: return false;
        case OnFailure::endsRunOnlyWithExitCode: break;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const boost::exception& e) {
        return boost::get_error_info<tag_exit_code>(e) != nullptr;
    } catch (...) {
    }
    return false;
}

}  // namespace

TableListeners& TableListeners::add(TableListener& listener, OnFailure onFailure, std::string name) {
    listeners_.push_back(Entry{&listener, onFailure, std::move(name), ""});
    return *this;
}

template <class Call>
void TableListeners::forEach(Call call, bool mayEndRun) {
    std::exception_ptr ending;
    for (Entry& entry : listeners_) {
        try {
            call(*entry.listener);
            entry.lastFailure.clear();
        } catch (...) {
            std::exception_ptr failure = std::current_exception();
            if (mayEndRun && endsRun(entry.onFailure, failure)) {
                if (!ending) ending = failure;
            } else {
                logFailure(entry, failure);
            }
        }
    }
    if (ending) std::rethrow_exception(ending);
}

// A failure that repeats with each row is logged once, not every second.
void TableListeners::logFailure(Entry& entry, const std::exception_ptr& failure) {
    std::string what = "unknown exception";
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    if (what == entry.lastFailure) return;
    entry.lastFailure = what;
    logError("output", "%s%s%s", entry.name.c_str(), entry.name.empty() ? "" : ": ", what.c_str());
}

void TableListeners::onTableStart(const Identity& identity, const DeviceInfo& info,
                                  const std::vector<TableColumn>& columns) {
    forEach([&](TableListener& l) { l.onTableStart(identity, info, columns); }, true);
}

void TableListeners::onRow(const TableRow& row) {
    forEach([&](TableListener& l) { l.onRow(row); }, true);
}

void TableListeners::onLinkLost(const std::string& reason) {
    forEach([&](TableListener& l) { l.onLinkLost(reason); }, true);
}

void TableListeners::onEnd() {
    forEach([](TableListener& l) { l.onEnd(); }, false);
}

}  // namespace tessline
