#include "clean/firebird/TIBTransaction.h"

#include "clean/firebird/FbParameterBlocks.h"

TIBTransaction::~TIBTransaction()
{
    if (!InTransaction())
        return;
    fb::StatusVector ignored{};
    Api().isc_rollback_transaction(ignored, &handle_);
    handle_ = {};
}

const fb::Api& TIBTransaction::Api()
{
    if (databases_.empty())
        throw fb::Error("transaction without a database");
    return databases_.front()->Api();
}

void TIBTransaction::StartTransaction()
{
    if (InTransaction())
        throw fb::Error("transaction already active");
    if (parameterBlock_.empty())
        parameterBlock_ = TransactionParameterBlock(params_);

    std::vector<fb::TransactionElement> elements;
    for (TIBDatabase* database : databases_)
        elements.push_back({database->Handle(), static_cast<int>(parameterBlock_.size()), parameterBlock_.data()});

    const fb::Api& api = Api();
    fb::StatusVector status{};
    fb::Handle handle{};
    api.isc_start_multiple(status, &handle, static_cast<short>(elements.size()), elements.data());
    fb::Check(api, status, "isc_start_multiple");
    handle_ = handle;
}

void TIBTransaction::Commit()
{
    fb::StatusVector status{};
    Api().isc_commit_transaction(status, &handle_);
    fb::Check(Api(), status, "isc_commit_transaction");
    handle_ = {};
}

void TIBTransaction::Rollback()
{
    fb::StatusVector status{};
    Api().isc_rollback_transaction(status, &handle_);
    fb::Check(Api(), status, "isc_rollback_transaction");
    handle_ = {};
}
