# A TCP proxy that delays every byte by half a round trip each way, so a
# client on loopback meets the latency of a real network. Order and data are
# kept; Nagle's algorithm is off on both sides, as a client's would be.
#
# Usage: delayproxy.py TARGET_HOST TARGET_PORT RTT_MS; prints its own port.
import asyncio, socket, sys

target_host, target_port, rtt_ms = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
one_way = rtt_ms / 2000.0


def nodelay(writer):
    sock = writer.get_extra_info('socket')
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


async def pipe(reader, writer):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def feed():
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + one_way, data))
            if not data:
                return

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(feed(), deliver())
    except (ConnectionError, OSError):
        pass
    finally:
        writer.close()


async def handle(client_reader, client_writer):
    try:
        server_reader, server_writer = await asyncio.open_connection(target_host, target_port)
    except OSError:
        client_writer.close()
        return
    nodelay(client_writer)
    nodelay(server_writer)
    await asyncio.gather(pipe(client_reader, server_writer), pipe(server_reader, client_writer))


async def main():
    server = await asyncio.start_server(handle, '127.0.0.1', 0, backlog=64)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
