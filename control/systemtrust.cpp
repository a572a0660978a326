#include "control/systemtrust.h"

#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace systemtrust {
namespace {

struct StoreFree {
    void operator()(X509_STORE* p) const { X509_STORE_free(p); }
};
struct ContextFree {
    void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
};
struct CertificateFree {
    void operator()(X509* p) const { X509_free(p); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};

std::unique_ptr<X509, CertificateFree> toX509(const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return std::unique_ptr<X509, CertificateFree>(d2i_X509(nullptr, &bytes, der.size()));
}

// The system's store as OpenSSL's default paths name it, without the default bundle file,
// which would parse every certificate in it up front.
std::unique_ptr<X509_STORE, StoreFree> systemStore()
{
    std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
    X509_LOOKUP* directory =
        store ? X509_STORE_add_lookup(store.get(), X509_LOOKUP_hash_dir()) : nullptr;
    if (!directory || X509_LOOKUP_add_dir(directory, nullptr, X509_FILETYPE_DEFAULT) != 1) {
        return nullptr;
    }
    return store;
}

bool nameTheServer(X509_STORE_CTX* context, const QByteArray& peerName)
{
    X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context);
    if (X509_VERIFY_PARAM_set_purpose(parameters, X509_PURPOSE_SSL_SERVER) != 1) {
        return false;
    }
    if (X509_VERIFY_PARAM_set1_ip_asc(parameters, peerName.constData()) == 1) {
        return true;
    }
    return X509_VERIFY_PARAM_set1_host(parameters, peerName.constData(), size_t(peerName.size())) ==
           1;
}

} // namespace

bool vouchesFor(const QList<QSslCertificate>& chain, const QByteArray& peerName)
{
    if (chain.isEmpty() || peerName.isEmpty() || peerName.contains('\0')) {
        return false;
    }
    const auto store = systemStore();
    const auto leaf = toX509(chain.first());
    std::unique_ptr<STACK_OF(X509), StackFree> intermediates(sk_X509_new_null());
    if (!store || !leaf || !intermediates) {
        return false;
    }
    for (qsizetype i = 1; i < chain.size(); ++i) {
        auto certificate = toX509(chain[i]);
        if (!certificate || sk_X509_push(intermediates.get(), certificate.get()) <= 0) {
            return false;
        }
        certificate.release(); // the stack owns it now
    }
    std::unique_ptr<X509_STORE_CTX, ContextFree> context(X509_STORE_CTX_new());
    if (!context ||
        X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), intermediates.get()) != 1 ||
        !nameTheServer(context.get(), peerName)) {
        return false;
    }
    return X509_verify_cert(context.get()) == 1;
}

} // namespace systemtrust
