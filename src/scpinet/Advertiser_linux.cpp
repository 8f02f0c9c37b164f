// The service through avahi-daemon, over the system bus, with Avahi's client library. Avahi
// runs its own thread: it answers the daemon, renames the service on a collision and registers
// it again when the daemon restarts.
#include "scpinet/Advertiser.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

namespace rz417::scpinet {
namespace {

class AvahiAdvertiser : public Advertiser
{
public:
    AvahiAdvertiser(const QHostAddress &address, uint16_t port)
        : m_interface(interfaceOf(address)), m_port(port), m_name(serviceName())
    {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && address != QHostAddress::AnyIPv4)
            m_protocol = AVAHI_PROTO_INET;
        else if (address.protocol() == QAbstractSocket::IPv6Protocol &&
                 address != QHostAddress::AnyIPv6)
            m_protocol = AVAHI_PROTO_INET6;
        for (const auto &[key, value] : serviceText())
            m_text = avahi_string_list_add_pair(m_text, key.c_str(), value.c_str());
    }

    ~AvahiAdvertiser() override
    {
        if (m_poll)
            avahi_threaded_poll_stop(m_poll);
        if (m_client)
            avahi_client_free(m_client); // with its entry group
        if (m_poll)
            avahi_threaded_poll_free(m_poll);
        avahi_string_list_free(m_text);
    }

    AvahiAdvertiser(const AvahiAdvertiser &) = delete;
    AvahiAdvertiser &operator=(const AvahiAdvertiser &) = delete;

    bool start(std::string &why)
    {
        m_poll = avahi_threaded_poll_new();
        if (!m_poll) {
            why = "Avahi's event thread could not be made";
            return false;
        }
        int error = 0;
        // Called before this returns when the daemon is there, in Avahi's thread later.
        m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), AvahiClientFlags(0),
                                    &AvahiAdvertiser::clientChanged, this, &error);
        if (!m_client) {
            why = std::string("no mDNS responder (avahi-daemon: ") + avahi_strerror(error) + ")";
            return false;
        }
        if (avahi_threaded_poll_start(m_poll) < 0) {
            why = "Avahi's event thread could not be started";
            return false;
        }
        return true;
    }

private:
    static void clientChanged(AvahiClient *client, AvahiClientState state, void *self)
    {
        auto *me = static_cast<AvahiAdvertiser *>(self);
        me->m_client = client; // the callback may come before avahi_client_new returns
        if (state == AVAHI_CLIENT_S_RUNNING)
            me->publish();
        else if ((state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) &&
                 me->m_group)
            avahi_entry_group_reset(me->m_group);
    }

    static void groupChanged(AvahiEntryGroup *, AvahiEntryGroupState state, void *self)
    {
        auto *me = static_cast<AvahiAdvertiser *>(self);
        if (state != AVAHI_ENTRY_GROUP_COLLISION)
            return;
        // Another instrument on the network has the name: "RZ-417 on lab-pc #2".
        char *other = avahi_alternative_service_name(me->m_name.c_str());
        me->m_name = other;
        avahi_free(other);
        avahi_entry_group_reset(me->m_group);
        me->publish();
    }

    void publish()
    {
        if (!m_group)
            m_group = avahi_entry_group_new(m_client, &AvahiAdvertiser::groupChanged, this);
        if (!m_group || !avahi_entry_group_is_empty(m_group))
            return;
        const AvahiIfIndex interface =
            m_interface ? static_cast<AvahiIfIndex>(m_interface) : AVAHI_IF_UNSPEC;
        if (avahi_entry_group_add_service_strlst(m_group, interface, m_protocol,
                                                 AvahiPublishFlags(0), m_name.c_str(), kServiceType,
                                                 nullptr, nullptr, m_port, m_text) == 0)
            avahi_entry_group_commit(m_group);
    }

    unsigned m_interface;
    AvahiProtocol m_protocol = AVAHI_PROTO_UNSPEC;
    uint16_t m_port;
    std::string m_name;
    AvahiStringList *m_text = nullptr;
    AvahiThreadedPoll *m_poll = nullptr;
    AvahiClient *m_client = nullptr;
    AvahiEntryGroup *m_group = nullptr;
};

} // namespace

std::unique_ptr<Advertiser> Advertiser::start(const QHostAddress &address, uint16_t port,
                                              std::string &why)
{
    auto advertiser = std::make_unique<AvahiAdvertiser>(address, port);
    if (!advertiser->start(why))
        return nullptr;
    return advertiser;
}

} // namespace rz417::scpinet
